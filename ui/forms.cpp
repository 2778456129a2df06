#include "ui/forms.h"

#include "ui/about_dialog.h"
#include "ui/confirm_dialog.h"
#include "ui/main_window.h"
#include "ui/options_dialog.h"
#include "ui/progress_dialog.h"

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TFormOption* FormOption = nullptr;
TOKRightDlg* OKRightDlg = nullptr;

TForm1* CreateForms()
{
    // In this order: the dialogs read their saved places and may reach Form1 while built.
    // The dialogs are the main window's children: transient over it, without task-bar
    // entries of their own, and destroyed with it.
    Form1 = new TForm1();
    Form2 = new TForm2(Form1);
    Form3 = new TForm3(Form1);
    FormOption = new TFormOption(Form1);
    OKRightDlg = new TOKRightDlg(Form1);
    return Form1;
}

void DestroyForms()
{
    delete Form1;  // deletes the dialogs with it
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    FormOption = nullptr;
    OKRightDlg = nullptr;
}
