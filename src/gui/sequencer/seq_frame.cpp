#include "gui/sequencer/seq_frame.h"

#include "gui/sequencer/seq_view.h"

#include <QCloseEvent>

namespace zorvil {

CSeqFrame::CSeqFrame(CPattern& pattern, CPatternHistory& history, QWidget* parent)
    : QMdiSubWindow(parent), m_pView(new CSeqView(pattern, history, this)) {
    setObjectName(QStringLiteral("sequencerFrame"));
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString::fromLatin1(kTitle));
    setWidget(m_pView);
    setFixedSize(kWidth, kHeight);
    connect(this, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
                if (now.testFlag(Qt::WindowActive) && !before.testFlag(Qt::WindowActive))
                    MoveAndSize();
            });
}

void CSeqFrame::MoveAndSize() {
    setGeometry(0, 0, kWidth, kHeight);
}

void CSeqFrame::closeEvent(QCloseEvent* event) {
    // The sequencer stays for the program's life; the main window keeps using its view.
    event->ignore();
}

void CSeqFrame::focusInEvent(QFocusEvent* event) {
    QMdiSubWindow::focusInEvent(event);
    m_pView->setFocus();
}

} // namespace zorvil
