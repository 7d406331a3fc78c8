// The program's main function: the application object, the platform services and
// the main window with the files named on the command line.
#include <QStringList>

#include "PlatformApp.h"
#include "PlatformQt.h"
#include "frm_Main.h"

int main(int argc, char** argv)
{
    TVelmoraApplication Application(argc, argv);
    Application.setApplicationName("Velmora");

    TQtPlatform Platform;
    Application.SetPlatform(&Platform);

    TfrmKTZ frmKTZ(Platform, Application.arguments().mid(1));
    frmKTZ.show();
    return Application.exec();
}
