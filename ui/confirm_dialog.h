#pragma once
// The confirmation dialog: shows the summary the start command writes into RichEdit1 and
// records the user's answer in Form1's ConfirmAnswer (1 OK, -1 Cancel or Esc; the close box
// leaves it as it was). It opens large enough for the whole summary (within the screen) and
// may be made larger; its position, and a size the user chose, are restored once and saved
// at every close ("Form5Width"/"Form5Height": the size inside the frame). GUI thread only.

#include <QDialog>
#include <QSize>

class QCheckBox;
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
    /// Measure the outputs' levels once the batch has ended; off at start, then as left.
    QCheckBox* CheckBox1 = nullptr;

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
    /// Fits the size to the summary and keeps the frame on the screen before each showing.
    void setVisible(bool visible) override;
    /// The size the text area needs to show the whole summary without scrolling.
    QSize SummarySize() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void SetAnswer(int value);
    void FitSummary();

    QSize rememberedSize_;  ///< the size the user chose (stored or this run); invalid when none
    QSize openedSize_;      ///< the size the present showing opened with

    int* answer_ = nullptr;
};
