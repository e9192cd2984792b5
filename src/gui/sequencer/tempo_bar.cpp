#include "gui/sequencer/tempo_bar.h"

#include "sequencer/pattern.h"

#include <QHBoxLayout>
#include <QLabel>

namespace zorvil {

namespace {

CWrapSpinBox* AddField(QHBoxLayout* layout, QWidget* parent, const QString& label,
                       const QString& name, int minimum, int maximum, int step) {
    auto* text = new QLabel(label, parent);
    auto* spin = new CWrapSpinBox(minimum, maximum, step, parent);
    spin->setObjectName(name);
    text->setBuddy(spin);
    layout->addWidget(text);
    layout->addWidget(spin);
    layout->addSpacing(10);
    return spin;
}

} // namespace

CTempoBar::CTempoBar(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 0, 0, 0);
    layout->setSpacing(5);
    m_pTempo = AddField(layout, this, tr("Tempo"), QStringLiteral("tempo"), CPattern::kMinTempo,
                        CPattern::kMaxTempo, 1);
    m_pMeasures = AddField(layout, this, tr("Measures"), QStringLiteral("measures"),
                           CPattern::kMinMeasures, CPattern::kMaxMeasures, 1);
    m_pSteps = AddField(layout, this, tr("Steps by measure"), QStringLiteral("steps"),
                        CPattern::kMinSteps, CPattern::kMaxSteps, 2);
    // The initial texts of the bar before any project set them.
    ShowValues(CPattern::kDefaultTempo, 1, 32);
}

void CTempoBar::ShowValues(int tempo, int measures, int stepsPerMeasure) {
    m_pTempo->SetValue(tempo);
    m_pMeasures->SetValue(measures);
    m_pSteps->SetValue(stepsPerMeasure);
}

} // namespace zorvil
