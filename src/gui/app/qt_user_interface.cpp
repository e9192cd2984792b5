#include "gui/app/qt_user_interface.h"

#include "gui/app/qt_text.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

#include <future>
#include <type_traits>
#include <unistd.h>

namespace zorvil {

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

MessageResult FromQtButton(int button, MessageButtons buttons) {
    switch (button) {
    case QMessageBox::Ok:
        return MessageResult::Ok;
    case QMessageBox::Yes:
        return MessageResult::Yes;
    case QMessageBox::No:
        return MessageResult::No;
    case QMessageBox::Cancel:
        return MessageResult::Cancel;
    default:
        break;
    }
    // Closed without a button: what Escape means for these buttons.
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageResult::Ok;
    case MessageButtons::YesNo:
        return MessageResult::No;
    default:
        return MessageResult::Cancel;
    }
}

// Whether a save may go to `path`: an existing file must be writable, a new one needs a
// writable folder.
bool Writable(const QString& path) {
    const QFileInfo info(path);
    const QByteArray target =
        QFile::encodeName(info.exists() ? info.absoluteFilePath() : info.absolutePath());
    return ::access(target.constData(), W_OK) == 0;
}

} // namespace

QStringList QtFilterList(std::string_view filter) {
    QStringList filters;
    const QStringList parts = ToQString(filter).split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& name = parts[i];
        if (name.isEmpty()) break; // the closing "||"
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        }
        filters.append(name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')'));
    }
    return filters;
}

CQtUserInterface::CQtUserInterface(QObject* parent) : QObject(parent) {}

template <class Call>
auto CQtUserInterface::OnUiThread(Call&& call) {
    using Result = std::invoke_result_t<Call>;
    if (QThread::currentThread() == thread()) return call();
    // The caller waits, so `call` and the promise outlive the hand-over.
    std::promise<Result> result;
    m_uiThread.Post([&] { result.set_value(call()); });
    return result.get_future().get();
}

QWidget* CQtUserInterface::DialogParent() const {
    if (m_dialogParent) return m_dialogParent.data();
    return QApplication::activeWindow();
}

MessageResult CQtUserInterface::MessageBox(std::string_view text, std::string_view caption,
                                           MessageButtons buttons, MessageIcon icon) {
    const QString qtText = ToQString(text);
    const QString qtCaption =
        caption.empty() ? QString::fromLatin1(kProgramTitle) : ToQString(caption);
    return OnUiThread([&] {
        QMessageBox box(ToQtIcon(icon), qtCaption, qtText, ToQtButtons(buttons), DialogParent());
        return FromQtButton(box.exec(), buttons);
    });
}

std::optional<std::string> CQtUserInterface::FileDialog(const FileDialogRequest& request,
                                                        bool save) {
    return OnUiThread([&]() -> std::optional<std::string> {
        QFileDialog dialog(DialogParent());
        dialog.setWindowTitle(request.title.empty() ? (save ? tr("Save As") : tr("Open"))
                                                    : ToQString(request.title));
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
        if (const QStringList filters = QtFilterList(request.filter); !filters.isEmpty())
            dialog.setNameFilters(filters);
        if (!request.defaultExtension.empty())
            dialog.setDefaultSuffix(ToQString(request.defaultExtension));
        // "<folder>/*.ext" opens in the folder; a plain name is offered as the file's name.
        const QFileInfo initial(ToQString(request.initialPath));
        if (initial.fileName().contains(QLatin1Char('*'))) {
            if (!request.initialPath.empty() && request.initialPath.find('/') != std::string::npos)
                dialog.setDirectory(initial.absolutePath());
        } else if (!request.initialPath.empty()) {
            dialog.selectFile(initial.filePath());
        }
        for (;;) {
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
            const QString chosen = dialog.selectedFiles().constFirst();
            if (save && request.refuseReadOnly && !Writable(chosen)) {
                QMessageBox::warning(&dialog, dialog.windowTitle(),
                                     QString::fromLatin1(kReadOnlyMessage).arg(chosen));
                continue;
            }
            return chosen.toStdString();
        }
    });
}

std::optional<std::string> CQtUserInterface::OpenFileDialog(const FileDialogRequest& request) {
    return FileDialog(request, false);
}

std::optional<std::string> CQtUserInterface::SaveFileDialog(const FileDialogRequest& request) {
    return FileDialog(request, true);
}

std::optional<std::string> CQtUserInterface::BrowseFolder(std::string_view title,
                                                          std::string_view initialPath) {
    const QString qtTitle = ToQString(title);
    const QString qtInitial = ToQString(initialPath);
    return OnUiThread([&]() -> std::optional<std::string> {
        const QString folder =
            QFileDialog::getExistingDirectory(DialogParent(), qtTitle, qtInitial);
        if (folder.isEmpty()) return {};
        return folder.toStdString();
    });
}

void CQtUserInterface::RefreshEffectWindows(int slot) {
    m_uiThread.Post([this, slot] { emit effectWindowsRefreshRequested(slot); });
}

void CQtUserInterface::SignalMidiActivity() noexcept {
    m_bMidiActivity.store(true, std::memory_order_relaxed);
}

bool CQtUserInterface::TakeMidiActivity() noexcept {
    return m_bMidiActivity.exchange(false, std::memory_order_relaxed);
}

} // namespace zorvil
