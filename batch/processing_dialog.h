#pragma once
// The batch job's view of the processing dialog: three label-and-bar rows, the caption,
// the OK and Cancel buttons, the cancel prompt and the message boxes. Every call comes from
// the batch worker thread. The desktop window forwards each call, queued and in order, to
// the GUI thread; prompts and message boxes block the worker until they are answered.
// orva-cli adapts it on the terminal; tests record every call.

#include "core/progress.h"

#include <string>

namespace orva {

/// Title and text of the prompt that CheckCancel shows (Yes/No, question icon).
inline constexpr const char* CancelPromptTitle = "キャンセル";
inline constexpr const char* CancelPromptText = "正規化は終了していません。キャンセルしますか？\n注：不正なフ"
                                                "ァイルや作業ファイルが残される場合があります。";

class ProcessingDialog {
public:
    virtual ~ProcessingDialog() = default;

    /// Label1/ProgressBar1: the entry being processed.
    virtual ProgressRow& Row1() = 0;
    /// Label2/ProgressBar2: conversion and scan of the current entry.
    virtual ProgressRow& Row2() = 0;
    /// Label3/ProgressBar3: normalization and MP3 step of the current entry.
    virtual ProgressRow& Row3() = 0;
    /// The "ORVA Process" boxes (and the titled box) of the batch.
    virtual MessageBoxes& Messages() = 0;

    /// The dialog's window caption.
    virtual void SetCaption(const std::string& text) = 0;
    /// Button1 (OK).
    virtual void SetOkEnabled(bool enabled) = 0;
    /// Button2 (Cancel).
    virtual void SetCancelEnabled(bool enabled) = 0;

    /// Shows a Yes/No question box and blocks until it is answered; true means Yes.
    virtual bool AskYesNo(const std::string& title, const std::string& text) = 0;
    /// Closes the dialog with the result Cancel (the user confirmed a cancel).
    virtual void CloseCancelled() = 0;
};

}  // namespace orva
