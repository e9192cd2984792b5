#include "gui/app/status_panes.h"

#include "gui/app/images.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>
#include <QStringList>

namespace zorvil {

namespace {

constexpr int kPaneMargin = 6;

} // namespace

QString PositionText(int position, int stepsPerMeasure) {
    if (stepsPerMeasure <= 0) stepsPerMeasure = 1;
    return QStringLiteral("  Measure : %1  -  Step : %2")
        .arg(position / stepsPerMeasure + 1)
        .arg(position % stepsPerMeasure + 1);
}

CStatusPanes::CStatusPanes(QStatusBar* bar) {
    m_pLostDevices = new QLabel(bar);
    m_pLostDevices->setObjectName(QStringLiteral("lostDevices"));
    m_pLostDevices->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
    bar->addPermanentWidget(m_pLostDevices);

    // The MIDI pane: the light, then its text.
    auto* midi = new QWidget(bar);
    auto* layout = new QHBoxLayout(midi);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(3);
    m_pMidiIcon = new QLabel(midi);
    m_pMidiIcon->setObjectName(QStringLiteral("midiLight"));
    auto* text = new QLabel(QString::fromLatin1(kMidiIndicator), midi);
    layout->addWidget(m_pMidiIcon);
    layout->addWidget(text);
    bar->addPermanentWidget(midi);
    SetMidiLight(false);

    m_pPosition = AddTextPane(bar, QString::fromLatin1(kPositionIndicator));
    m_pPosition->setText(QString::fromLatin1(kPositionIndicator));
    m_pCaps = AddTextPane(bar, QStringLiteral("CAP"));
    m_pNum = AddTextPane(bar, QStringLiteral("NUM"));
    m_pScroll = AddTextPane(bar, QStringLiteral("SCRL"));
}

QLabel* CStatusPanes::AddTextPane(QStatusBar* bar, const QString& indicator) {
    auto* pane = new QLabel(bar);
    pane->setMinimumWidth(QFontMetrics(pane->font()).horizontalAdvance(indicator) + kPaneMargin);
    pane->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    bar->addPermanentWidget(pane);
    return pane;
}

void CStatusPanes::SetMidiLight(bool lit) {
    if (lit == m_bMidiLit) return;
    m_bMidiLit = lit;
    m_pMidiIcon->setPixmap(images::MidiLight(lit));
}

void CStatusPanes::SetPosition(int position, int stepsPerMeasure) {
    const QString text = PositionText(position, stepsPerMeasure);
    if (m_pPosition->text() != text) m_pPosition->setText(text);
}

void CStatusPanes::SetLostDevices(const std::vector<std::string>& devices) {
    QString text;
    if (!devices.empty()) {
        QStringList names;
        for (const std::string& device : devices)
            names << QString::fromStdString(device);
        text = names.join(QStringLiteral(", "));
        text[0] = text[0].toUpper();
        text += QStringLiteral(" stopped: Options > Restart once it is back");
    }
    if (m_pLostDevices->text() == text) return;
    m_pLostDevices->setText(text);
    m_pLostDevices->setToolTip(text);
}

void CStatusPanes::SetLocks(const std::optional<LockIndicators>& locks) {
    auto show = [](QLabel* pane, bool on, const char* text) {
        const QString shown = on ? QString::fromLatin1(text) : QString();
        if (pane->text() != shown) pane->setText(shown);
    };
    show(m_pCaps, locks && locks->caps, "CAP");
    show(m_pNum, locks && locks->num, "NUM");
    show(m_pScroll, locks && locks->scroll, "SCRL");
}

} // namespace zorvil
