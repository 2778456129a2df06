#pragma once
// The about dialog: the program's name, version and where to learn more. Restores its
// position when created and saves it whenever it closes. GUI thread only.

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label3 = nullptr;        ///< "ORVA"
    QLabel* Label4 = nullptr;        ///< one-line tagline
    QLabel* Label1 = nullptr;        ///< "Ver 1.1 2003/01/13"
    QLabel* Label5 = nullptr;        ///< notice line
    QLineEdit* Edit2 = nullptr;      ///< contact line (plain text; clicking does nothing)
    QLineEdit* Edit3 = nullptr;      ///< home-page address (a link while the help exists)
    QPushButton* Button2 = nullptr;  ///< "OK"

    /// Hides the dialog, ending its modal showing with the OK result.
    void Button1Click();
    /// Opens the home page (same as the main menu's "Kef's Page(&N)").
    void Edit3Click();
    /// Saves the dialog's position.
    void FormClose();
    /// Keeps the frame on a screen before each showing.
    void setVisible(bool visible) override;

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
