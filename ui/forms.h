#pragma once
// The program's five windows, created once at start-up in this order and living until the
// main window closes (ui/main.cpp). Dialogs reach the hub through Form1. GUI thread only.

class TForm1;
class TForm2;
class TForm3;
class TFormOption;
class TOKRightDlg;

extern TForm1* Form1;            ///< main window
extern TForm2* Form2;            ///< about dialog
extern TForm3* Form3;            ///< progress dialog that runs a batch
extern TFormOption* FormOption;  ///< options dialog
extern TOKRightDlg* OKRightDlg;  ///< confirmation dialog

/// Creates the five windows in order and sets the globals; the dialogs are owned by Form1.
/// Returns Form1 (owned by the caller).
TForm1* CreateForms();
/// Destroys Form1 (and with it the dialogs) and clears the globals.
void DestroyForms();
