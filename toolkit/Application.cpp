#include "toolkit/Application.h"

#include "base/Report.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include <cstdio>
#include <unistd.h>

namespace varnel {

TApplication::TApplication(int& argc, char** argv)
    : m_app(std::make_unique<QApplication>(argc, argv)) {
    Application = this;
}

TApplication::TApplication() {
    Application = this;
}

TApplication::~TApplication() {
    // Windows and the data module go before the toolkit, newest first.
    while (!m_components.empty())
        m_components.pop_back();
    if (Application == this)
        Application = nullptr;
}

bool LoadQtRussian() {
    QCoreApplication* application = QCoreApplication::instance();
    const QString name = QStringLiteral("qtbase_ru");
    if (!application || application->findChild<QTranslator*>(name))
        return application != nullptr;
    auto translator = std::make_unique<QTranslator>();
    translator->setObjectName(name);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"), folder)) {
        qWarning("Qt's Russian (qtbase_ru.qm) is not in %s: its own dialogs speak English "
                 "(the package qt6-translations-l10n has it)",
                 qPrintable(folder));
        return false;
    }
    translator->setParent(application);
    QCoreApplication::installTranslator(translator.release());
    return true;
}

void TApplication::Initialize() {
    LoadQtRussian();
    // Every word of the program is Russian; a machine left in the neutral "C" locale gets
    // Russian dates and numbers rather than English month names the date boxes cannot read.
    if (QLocale().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // The windows are laid out for a narrow sans serif; where that face is missing, the
    // nearest in width, not a wide default that would run captions under the boxes.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans")});
    QApplication::setQuitOnLastWindowClosed(false);
    if (!HasErrorReporter()) { // the tests put a recorder in place first
        SetErrorReporter(&TApplication::ShowError);
        SetNoticeReporter(&TApplication::ShowNotice);
    }
}

void TApplication::SetTitle(const QString& title) {
    m_title = title;
    QApplication::setApplicationName(title.trimmed());
}

int TApplication::Run() {
    if (!m_mainForm)
        return 0;
    connect(m_mainForm, &TForm::OnClose, qApp, &QCoreApplication::quit);
    m_mainForm->Show();
    return QApplication::exec();
}

namespace {
std::function<void(int)>& haltHandler() {
    static std::function<void(int)> handler;
    return handler;
}
} // namespace

void TApplication::SetHaltHandler(std::function<void(int)> handler) {
    haltHandler() = std::move(handler);
}

void TApplication::Halt(int code) {
    if (haltHandler()) {
        haltHandler()(code);
        return;
    }
    std::fflush(nullptr);
    ::_exit(code);
}

void TApplication::ShowError(const QString& message) {
    QMessageBox box(QMessageBox::Critical, Application ? Application->Title() : QString(), message,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void TApplication::ShowNotice(const QString& message) {
    QMessageBox box(QMessageBox::Information, Application ? Application->Title() : QString(),
                    message, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

} // namespace varnel
