#pragma once
// The confirmation dialog: shows the summary the start command writes into RichEdit1 and
// records the user's answer in Form1's ConfirmAnswer (1 OK, -1 Cancel or Esc; the close box
// leaves it as it was). Its position is restored once and saved at every close.
// GUI thread only.

#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

class TOKRightDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKRightDlg(QWidget* parent = nullptr);

    /// Where the answer goes (not owned); nullptr means Form1's ConfirmAnswer.
    void SetAnswerField(int* answer) { answer_ = answer; }

    // Controls, named as in the form description. Owned by the dialog (Qt parents).
    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    QPlainTextEdit* RichEdit1 = nullptr;  ///< read-only summary, monospaced
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    /// Empties the summary and makes its text black.
    void ClearSummary();
    /// Appends one summary line ("" for an empty line).
    void AppendSummaryLine(const QString& line);

    /// Restores the position (run by the constructor).
    void FormCreate();
    /// ConfirmAnswer = 1, then closes with OK.
    void OKBtnClick();
    /// ConfirmAnswer = -1, then closes with Cancel.
    void CancelBtnClick();
    /// Saves the position (run at every close, whichever way).
    void FormClose();

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void SetAnswer(int value);

    int* answer_ = nullptr;
};
