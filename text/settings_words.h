#pragma once
// The options' default texts in the process language: what a settings file that does not
// hold them yet is read with. A file that holds them keeps them, whatever the language.

#include "settings/settings.h"
#include "text/catalogue.h"

namespace orva {

/// The defaults for LoadSettings, with the SSTP messages in the process language.
inline Settings DefaultSettingsInLanguage()
{
    Settings defaults;
    defaults.SstpFileMessage = ORVA_TR("Settings", "「$S」の正規化が終了しました！");
    defaults.SstpAllMessage = ORVA_TR("Settings", "すべての正規化が終了しました！");
    return defaults;
}

}  // namespace orva
