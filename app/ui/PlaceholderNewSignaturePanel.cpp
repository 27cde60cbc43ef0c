#include "app/ui/PlaceholderNewSignaturePanel.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/Localization.h"

namespace quillet {

PlaceholderNewSignaturePanel::PlaceholderNewSignaturePanel(QWidget* parent)
    : NewSignaturePanel(parent), _legend(new QLabel(this)) {
    setObjectName("newSignaturePanel");
    auto* layout = new QVBoxLayout(this);
    auto* cancel = new QPushButton(Localized("Cancel"), this);
    cancel->setObjectName("cancelButton");
    layout->addStretch();
    layout->addWidget(_legend, 0, Qt::AlignCenter);
    layout->addWidget(cancel, 0, Qt::AlignCenter);
    layout->addStretch();
    connect(cancel, &QPushButton::clicked, this, &NewSignaturePanel::cancelled);
}

void PlaceholderNewSignaturePanel::engage(int /*colorIndex*/) {
    _engaged = true;
    _legend->setText(Localized("Select your email client"));
}

void PlaceholderNewSignaturePanel::disengage() {
    _engaged = false;
}

NewSignaturePanelFactory DefaultNewSignaturePanelFactory() {
    return [](Core&, QWidget* parent) { return new PlaceholderNewSignaturePanel(parent); };
}

}  // namespace quillet
