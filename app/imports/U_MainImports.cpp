// The main window's imports of older logs (the Utilities menu).
#include "app/main/U_Main.h"

#include "app/data/U_dmSendoPro.h"
#include "app/imports/U_OlderLogs.h"
#include "app/imports/U_Report3Log.h"

#include <QMenu>
#include <QMenuBar>

#include "ui_U_Main.h"

void TF_Main::ConnectImportCommands()
{
    auto* utilities = new QMenu(QStringLiteral("&Utilities"), this);
    utilities->setObjectName(QStringLiteral("menuUtilities"));
    menuBar()->insertMenu(ui->menuHelp->menuAction(), utilities);
    auto* importLog = utilities->addMenu(QStringLiteral("&Import Log File"));
    importLog->setObjectName(QStringLiteral("menuImportLogFile"));
    miImportPro25 = importLog->addAction(QStringLiteral("&Sendo Mail Pro 2.5 "));
    miImportPro25->setObjectName(QStringLiteral("miImportPro25"));
    miImport3 = importLog->addAction(QStringLiteral("S&endo 3 or Sendo 3 lite"));
    miImport3->setObjectName(QStringLiteral("miImport3"));
    miImportPro3 = importLog->addAction(QStringLiteral("Sendo 3 &Pro"));
    miImportPro3->setObjectName(QStringLiteral("miImportPro3"));
    connect(miImportPro25, &QAction::triggered, this, &TF_Main::miImportPro25Click);
    connect(miImport3, &QAction::triggered, this, &TF_Main::miImport3Click);
    connect(miImportPro3, &QAction::triggered, this, &TF_Main::miImportPro3Click);
}

void TF_Main::miImportPro25Click()
{
    T25LogSource source(*DataModule().edsqLog2);
    RunLogImport(this, Import25Kind(), source);
}

void TF_Main::miImport3Click()
{
    TReport3LogSource source(*DataModule().XfDbfReport);
    RunLogImport(this, Import3Kind(), source);
}

void TF_Main::miImportPro3Click()
{
    TPro3LogSource source(*DataModule().edsqLog);
    RunLogImport(this, ImportPro3Kind(), source);
}
