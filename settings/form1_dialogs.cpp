// The main window's doors to the Setup and association dialogs.
#include "app/Unit1.h"
#include "settings/Unit2.h"
#include "settings/UnitAssoc.h"

void TForm1::Setup1Click(QObject*)
{
    ShowSetupDialog();
}

void TForm1::Button1Click(QObject*)
{
    RunFormAssoc();
}
