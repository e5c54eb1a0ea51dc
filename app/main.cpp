#include "app/main/U_About.h"
#include "app/main/U_Main.h"
#include "app/data/U_Settings.h"
#include "app/dialogs/U_SingleEdit.h"
#include "app/dialogs/U_XfEngineWindows.h"
#include "app/data/U_dmMainData.h"

#include <QApplication>

#include <memory>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    InstallXfEngineWindows();
    // Test-only: SENDORA_UNATTENDED_PRINTS=N prints N mailers without a user (see U_Main.h).
    const std::unique_ptr<TUnattendedPrints> unattended = TUnattendedPrints::FromEnvironment();

    auto splash = std::make_unique<TF_About>(1);
    splash->show();
    splash->repaint();
    QApplication::processEvents();

    QApplication::setApplicationName(QString::fromStdString(ApplicationTitle()));

    TInstalledDataModule dataModule(ProgramFolder());
    std::vector<std::string> args;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());
    TF_Main main(std::move(splash), std::move(args));
    TF_SingleEdit singleEdit(&main);
    F_SingleEdit = &singleEdit;

    main.show();
    if (unattended) {
        const int status = unattended->Run(main);
        F_SingleEdit = nullptr;
        return status;
    }
    const int result = QApplication::exec();
    F_SingleEdit = nullptr;
    return result;
}
