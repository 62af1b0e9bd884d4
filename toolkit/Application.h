#pragma once

#include "toolkit/Form.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QApplication;

namespace varnel {

// The program: its windows and data module, made once in a fixed order, the message loop,
// and the standard error box.
class TApplication : public QObject {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    // Over the toolkit instance that exists already (the tests make their own).
    TApplication();
    ~TApplication() override;

    void Initialize();
    void SetTitle(const QString& title);
    const QString& Title() const { return m_title; }

    // Builds a window or the data module, stores it in its global reference and fires its
    // OnCreate. The first window built is the main window.
    template <typename T> void CreateForm(T*& reference) {
        CreateForm(reference, [] { return std::make_unique<T>(); });
    }
    // The same, the component made by `make` (the data module over the books' server, say).
    template <typename T, typename Make> void CreateForm(T*& reference, Make make) {
        std::unique_ptr<T> owned = make();
        reference = owned.get();
        QObject* object = owned.get();
        m_components.push_back(std::move(owned));
        if (auto* form = qobject_cast<TForm*>(object)) {
            // A task bar names a window by its icon text: the program's title.
            form->setWindowIconText(m_title);
            if (!m_mainForm)
                m_mainForm = form;
        }
        emit reference->OnCreate();
    }

    TForm* MainForm() const { return m_mainForm; }

    // Shows the main window and runs the message loop until the main window closes.
    int Run();

    // Ends the program at once: no question, no window closed first. Every table write is
    // on disk before its action returned, so nothing is lost.
    static void Halt(int code = 0);
    // Tests put their own end of the process in place; the program never does.
    static void SetHaltHandler(std::function<void(int)> handler);

    // The standard error box: the error's message under the program's title.
    static void ShowError(const QString& message);
    // The box for news that is no error: a table mended at start, say.
    static void ShowNotice(const QString& message);

private:
    std::unique_ptr<QApplication> m_app;
    QString m_title;
    std::vector<std::unique_ptr<QObject>> m_components;
    TForm* m_mainForm = nullptr;
};

// Qt's own words (its dialogs' captions and buttons) in Russian whatever the locale, as every word
// on screen is: the translation of Debian's qt6-translations-l10n, installed into the running
// application once. False, and said on the standard error, when it is not there.
bool LoadQtRussian();

// The program's one instance.
inline TApplication* Application = nullptr;

} // namespace varnel
