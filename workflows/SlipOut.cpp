#include "workflows/SlipOut.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "slip/SlipPrinter.h"

#include <QCoreApplication>
#include <QDir>
#include <QMetaObject>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace varnel {

namespace {

std::mutex pendingLock;
std::vector<std::shared_future<QString>> pending; // the slips handed out, until finished

// What the counter says of a slip that did not go out.
QString notOut(const Slip& slip, const QString& failure) {
    return slip.copy ? QStringLiteral("Копия квитанции ставки № %1 не напечатана: %2")
                           .arg(slip.serial)
                           .arg(failure)
                     : QStringLiteral("Ставка № %1 принята, но её квитанция не напечатана: %2\n"
                                      "Квитанцию можно напечатать снова: «Повторить квитанцию» в "
                                      "меню.")
                           .arg(slip.serial)
                           .arg(failure);
}

// What the counter says of a slip that went out, `where` as OutputSlip tells it: the file, as
// the working folder holds it, or the printer.
QString out(const Slip& slip, const SlipSettings& settings, const QString& folder,
            const QString& where) {
    const QString what = slip.copy ? QStringLiteral("Копия квитанции № %1").arg(slip.serial)
                                   : QStringLiteral("Квитанция № %1").arg(slip.serial);
    if (!settings.printer.isEmpty())
        return QStringLiteral("%1: напечатана на принтере «%2»").arg(what, where);
    const QString file = QDir(folder).relativeFilePath(where);
    return QStringLiteral("%1: %2").arg(
        what, QDir::toNativeSeparators(file.startsWith(QLatin1String("..")) ? where : file));
}

// The reason the slip did not go out, empty when it went (`where` then says where).
QString output(const Slip& slip, const SlipSettings& settings, const QString& folder,
               QString& where) {
    try {
        where = OutputSlip(slip, settings, folder);
    } catch (const EVarnelError& error) {
        return error.message();
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    }
    return {};
}

} // namespace

void FinishSlips() {
    std::vector<std::shared_future<QString>> waited;
    {
        const std::lock_guard<std::mutex> hold(pendingLock);
        waited.swap(pending);
    }
    for (const std::shared_future<QString>& slip : waited)
        slip.wait_for(std::chrono::milliseconds(kSlipPrintTimeoutMs + 5000));
}

std::shared_future<QString> HandOutSlip(Slip slip) {
    const QString folder = QDir::currentPath();
    const SlipSettings settings = SlipSettingsOf(folder);
    slip.office = settings.office;
    auto result = std::make_shared<std::promise<QString>>();
    std::shared_future<QString> done = result->get_future().share();
    // A PDF in the folder is written here, in about a hundredth of a second: the text is laid out
    // where the windows lay out theirs.
    if (settings.printer.isEmpty()) {
        QString where;
        const QString failure = output(slip, settings, folder, where);
        if (!failure.isEmpty())
            ReportError(notOut(slip, failure));
        else
            ReportStatus(out(slip, settings, folder, where));
        result->set_value(failure);
        return done;
    }
    {
        const std::lock_guard<std::mutex> hold(pendingLock);
        std::erase_if(pending, [](const std::shared_future<QString>& slip) {
            return slip.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        });
        pending.push_back(done);
    }
    std::thread([result, slip, settings, folder] {
        QString where;
        const QString failure = output(slip, settings, folder, where);
        if (QCoreApplication::instance()) {
            const bool went = failure.isEmpty();
            const QString said = went ? out(slip, settings, folder, where) : notOut(slip, failure);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [said, went] { went ? ReportStatus(said) : ReportError(said); },
                Qt::QueuedConnection);
        }
        result->set_value(failure);
    }).detach();
    return done;
}

} // namespace varnel
