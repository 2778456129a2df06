#pragma once
// The options dialog: three pages over the Settings record of the main window. Every showing
// loads the controls from Settings afresh, so the dialog always shows the options in effect
// (the start command may have changed some, and edits left without OK are dropped). OK
// stores every option; any other way of closing stores nothing.
// GUI thread only.

#include "settings/settings.h"

#include <QDialog>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QStringList>
#include <QValidator>

#include <array>
#include <cstddef>
#include <optional>

class QCheckBox;
class QComboBox;
class QFrame;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class UiServices;

/// A framed group of radio buttons, one per item, chosen by item index (-1: none).
/// Row i of Grid() holds item i in column 0; other widgets may join a row.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

    int ItemIndex() const;
    /// Checks item `index`; values out of range are brought to the nearest item.
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const;
    QGridLayout* Grid() const { return grid_; }

Q_SIGNALS:
    /// The user checked an item.
    void Click();

private:
    QGridLayout* grid_;
    QList<QRadioButton*> items_;
};

/// Refuses typing that would make a text longer than `maxBytes` bytes of CP932 (or, when
/// `maxChars` is not 0, longer than that many characters). The refusal takes the whole
/// keystroke or paste, so a double-byte character is never split. Texts set by the program
/// itself are kept whole.
class ShiftJisLimitValidator final : public QValidator {
    Q_OBJECT
public:
    explicit ShiftJisLimitValidator(std::size_t maxBytes, int maxChars = 0, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;

private:
    std::size_t maxBytes_;
    int maxChars_;
};

class TFormOption : public QDialog {
    Q_OBJECT
public:
    /// Edits Form1's Settings; runs FormCreate (Form1 must exist).
    explicit TFormOption(QWidget* parent = nullptr);
    /// Edits `settings`, which must outlive the dialog; runs FormCreate.
    explicit TFormOption(orva::Settings& settings, QWidget* parent = nullptr);

    /// Puts a double in place of the choosers (not owned); nullptr uses Form1's services.
    void SetServices(UiServices* services) { services_ = services; }

    // Controls, named as in the form description. Owned by the dialog (Qt parents).
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;    ///< "基本"
    QWidget* TabSheet2 = nullptr;    ///< "MP3"
    QWidget* TabSheet3 = nullptr;    ///< "SSTP"
    QPushButton* Button1 = nullptr;  ///< "OK"

    RadioGroup* RadioGroup1 = nullptr;  ///< peak method
    RadioGroup* RadioGroup2 = nullptr;  ///< source file action
    QCheckBox* CheckBox1 = nullptr;     ///< sample-rate conversion on/off
    QFrame* Panel1 = nullptr;
    QComboBox* ComboBox1 = nullptr;       ///< target rate, Hz
    QLabel* Label1 = nullptr;             ///< "Hz"
    RadioGroup* RadioGroup3 = nullptr;    ///< default output folder mode
    QLineEdit* Edit1 = nullptr;           ///< fixed output folder
    QPushButton* Button3 = nullptr;       ///< "・・・"
    QGroupBox* GroupBox1 = nullptr;       ///< "目標レベル"
    QComboBox* ComboBox6 = nullptr;       ///< target mode: sample peak, true peak, loudness
    QDoubleSpinBox* SpinEdit1 = nullptr;  ///< target level, dB in the mode's unit
    QLabel* Label2 = nullptr;             ///< the level's unit
    QLabel* Label3 = nullptr;             ///< "上限"
    QDoubleSpinBox* SpinEdit2 = nullptr;  ///< true-peak ceiling of the loudness mode, dBTP

    QCheckBox* CheckBox2 = nullptr;  ///< MP3 encoding on/off
    QFrame* Panel2 = nullptr;
    QComboBox* ComboBox2 = nullptr;  ///< bitrate, kbps
    QComboBox* ComboBox3 = nullptr;  ///< output mode for the gogo encoder (four items)
    QComboBox* ComboBox5 = nullptr;  ///< output mode for SCMPX (two items)
    QCheckBox* CheckBox3 = nullptr;  ///< psychoacoustic model (gogo only)
    QComboBox* ComboBox4 = nullptr;  ///< encoder kind
    QPushButton* Button2 = nullptr;  ///< "場所指定"
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;

    QCheckBox* CheckBox4 = nullptr;  ///< SSTP on/off
    QLineEdit* Edit2 = nullptr;      ///< per-file message
    QLineEdit* Edit3 = nullptr;      ///< end-of-batch message
    QLineEdit* Edit4 = nullptr;      ///< server (shown, never editable)
    QLineEdit* Edit5 = nullptr;      ///< port (shown, never editable)

    /// Restores the position and loads the controls from Settings (run by the constructor).
    void FormCreate();
    /// Loads every control from Settings (run at every showing).
    void FormShow();
    /// Stores the controls into Settings, then closes the dialog.
    void Button1Click();
    /// Saves the position (run at every close).
    void FormClose();

    // Interlocks between the controls.
    void CheckBox1Click();
    void CheckBox2Click();
    void ComboBox4Change();
    void CheckBox4Click();
    void RadioGroup3Click();
    /// Sets the level's range and unit for the chosen target mode; the ceiling only
    /// applies to the loudness mode.
    void ComboBox6Change();

    /// Lets the user pick the external encoder program; sets EncoderPath at once. The chooser
    /// opens in the present encoder's folder, else in the packaged tools folder; a file
    /// that cannot be run is refused at once with a message.
    void Button2Click();
    /// Lets the user pick the fixed output folder into Edit1 (stored only on OK).
    void Button3Click();

    void done(int result) override;
    /// Keeps a restored place on a screen before each showing.
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    /// Puts every control on the form's own value, then on the value in Settings.
    void LoadControls();
    QWidget* CreateBasicPage();
    QWidget* CreateMp3Page();
    QGroupBox* CreateTargetGroup(QWidget* page);
    QWidget* CreateSstpPage();
    void ConnectHandlers();
    UiServices& Services() const;

    orva::Settings& settings_;
    UiServices* services_ = nullptr;
    int modeShown_ = -1;           ///< the target mode the level's range was last set for
    QLabel* modeLabel_ = nullptr;  ///< "出力モード", whose key leads to the visible mode list
    bool loading_ = false;         ///< LoadControls is putting values in: no choice of the user's

    // What the user chose this session, so that switching something off and on again, or
    // to another mode and back, brings it back.
    std::array<std::optional<double>, 3> modeLevels_;  ///< the level of each target mode
    std::optional<int> resampleItem_;                  ///< ComboBox1's item
    struct Mp3Choice {
        int bitrateItem, gogoModeItem, scmpxModeItem, encoderItem;
        bool psy;
    };
    std::optional<Mp3Choice> mp3Choice_;
    /// The peak method and source action chosen before resampling put them on 0.
    std::optional<std::pair<int, int>> beforeResample_;
};
