// ModalAnswers: answers the modal dialogs that the code under test opens, one step per dialog,
// on the user-interface thread while the dialog's own event loop runs.
//
//     ModalAnswers answers({[](QWidget* modal) { ClickButton(modal, QMessageBox::Ok); }});
//     frame.SetEffectButtonState(4, 0);           // shows a message box, answered at once
//     EXPECT_EQ(answers.Answered(), 1);
//     EXPECT_EQ(answers.Texts()[0], "Vst effect number out of range");
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace zorvil::test {

class ModalAnswers {
public:
    using Step = std::function<void(QWidget* modal)>;

    // Records a message box (caption, text, icon) before running a step on it.
    struct Seen {
        std::string caption;
        std::string text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };

    explicit ModalAnswers(std::vector<Step> steps) : m_steps(std::move(steps)) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start();
    }

    int Answered() const noexcept { return m_answered; }
    const std::vector<Seen>& Boxes() const noexcept { return m_seen; }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == m_last || m_answered >= static_cast<int>(m_steps.size()))
            return;
        m_last = modal;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            m_seen.push_back(
                {box->windowTitle().toStdString(), box->text().toStdString(), box->icon()});
        m_steps[static_cast<size_t>(m_answered++)](modal);
    }

    std::vector<Step> m_steps;
    QTimer m_timer;
    QPointer<QWidget> m_last;
    int m_answered = 0;
    std::vector<Seen> m_seen;
};

// Clicks a standard button of a message box.
inline void ClickButton(QWidget* modal, QMessageBox::StandardButton button) {
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        if (QAbstractButton* found = box->button(button)) found->click();
}

} // namespace zorvil::test
