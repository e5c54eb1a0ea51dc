#include "app/main/U_About.h"

#include "app/main/AppVersion.h"
#include "app/data/U_Settings.h"
#include "platform/rtl/Paths.h"
#include "platform/ui/WebPage.h"

#include "ui_U_About.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

namespace {

struct TContact {
    const char* owner;
    const char* street;
    const char* city;
    const char* phone;
    const char* webSite;
};

// Both brands send support mail to the maker.
constexpr const char* kSupportEMail = "support@farrowby.example";

constexpr TContact kMaker = {"Sendora Pro is a product of Farrowby Software, Inc.", "1200 Harbor Lane, Suite 4",
                             "Westbrook, ME 04092", "Phone (207) 555-0140", "https://www.farrowby.example"};
constexpr TContact kReseller = {"Distributed by Hollisand Office Supply, under licence from Farrowby Software, Inc.",
                                "88 Mill Street", "Dayton, OH 45402", "Phone (937) 555-0172",
                                "https://www.hollisand.example"};

constexpr int kSplashHeight = 80;
constexpr int kSplashPanelHeight = 62;
constexpr int kResellerGrowth = 56;

}  // namespace

TF_About::TF_About(int splash, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TF_About>()), timer1_(new QTimer(this)), splash_(splash)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(326, 333);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(3000);
    timer1_->setSingleShot(false);
    connect(timer1_, &QTimer::timeout, this, &TF_About::Timer1Timer);
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);

    ui->labelVersion->setText(QString::fromStdString(VersionLine(AppVersion())));

    if (splash_ == 1) {
        setFixedSize(326, kSplashHeight);
        ui->panelMain->resize(ui->panelMain->width(), kSplashPanelHeight);
        ui->btnOK->hide();
        timer1_->start();
    } else {
        ApplyBrand();
        for (QLabel* link : {ui->labelWebSite, ui->labelEMail}) {
            link->setCursor(Qt::PointingHandCursor);
            link->installEventFilter(this);
        }
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

TF_About::~TF_About() = default;

bool TF_About::TimerRunning() const { return timer1_->isActive(); }

std::string TF_About::VersionLine(const std::string& fileVersion)
{
    if (fileVersion.empty()) return "Version 3.0";
    std::string line;
    int parts = 0;
    std::size_t start = 0;
    while (parts < 3 && start <= fileVersion.size()) {
        std::size_t dot = fileVersion.find('.', start);
        if (dot == std::string::npos) dot = fileVersion.size();
        line += (parts > 0 ? "." : "") + fileVersion.substr(start, dot - start);
        ++parts;
        start = dot + 1;
    }
    return "Version " + line;
}

void TF_About::ApplyBrand()
{
    const TContact* contact = nullptr;
    if (gCompany == kBrandMaker) contact = &kMaker;
    if (gCompany == kBrandReseller) contact = &kReseller;
    if (contact == nullptr) return;
    ui->labelOwner->setText(contact->owner);
    ui->labelStreet->setText(contact->street);
    ui->labelCity->setText(contact->city);
    ui->labelPhone->setText(contact->phone);
    ui->labelWebSite->setText(contact->webSite);
    ui->labelEMail->setText(kSupportEMail);
    if (contact != &kReseller) return;

    QPixmap logo;
    if (logo.load(QString::fromStdString(rtl::JoinPath(gAppPath, kLogoFileName)))) ui->imageCompany->setPixmap(logo);
    setFixedSize(width(), height() + kResellerGrowth);
    ui->panelMain->resize(ui->panelMain->width(), ui->panelMain->height() + kResellerGrowth);
    ui->imageCompany->resize(ui->imageCompany->width(), ui->imageCompany->height() + kResellerGrowth);
    ui->panelInfo->move(ui->panelInfo->x(), ui->panelInfo->y() + kResellerGrowth);
    ui->btnOK->move(ui->btnOK->x(), ui->btnOK->y() + kResellerGrowth);
}

void TF_About::Timer1Timer() { timer1_->stop(); }

bool TF_About::eventFilter(QObject* watched, QEvent* event)
{
    if (splash_ == 0 && event->type() == QEvent::MouseButtonRelease) {
        if (watched == ui->labelWebSite) {
            ui::OpenWebPageOrShowAddress(ui->labelWebSite->text().toStdString());
            return true;
        }
        if (watched == ui->labelEMail) {
            ui::OpenWebPageOrShowAddress("mailto:" + ui->labelEMail->text().toStdString() +
                                         "?Subject=" + QApplication::applicationName().toStdString());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TF_About::keyPressEvent(QKeyEvent* event)
{
    // The splash is not the user's to close.
    if (splash_ == 1 && event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
