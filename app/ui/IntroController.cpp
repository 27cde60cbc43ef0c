#include "app/ui/IntroController.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/Fonts.h"
#include "app/ui/Images.h"
#include "common/Localization.h"

namespace quillet {

IntroController::IntroController(QWidget* parent) : QWidget(parent) {
    setObjectName("introPanel");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(64, 48, 64, 48);
    auto* border = new QLabel(this);
    border->setPixmap(ImagePixmap("intro-heading-border", {320, 12}));
    auto* heading = new QLabel(this);
    heading->setObjectName("introHeading");
    heading->setText(Localized("Let's get started by adding your first signature,") + "\n" +
                     Localized("click the plus button to begin!"));
    heading->setFont(BodyFont(20, QFont::DemiBold));
    heading->setStyleSheet("color: #1E2B30;");
    heading->setWordWrap(true);
    auto* em = new QLabel(this);
    em->setPixmap(ImagePixmap("intro-em", {240, 160}));
    layout->addStretch();
    layout->addWidget(em, 0, Qt::AlignLeft);
    layout->addSpacing(24);
    layout->addWidget(heading);
    layout->addSpacing(12);
    layout->addWidget(border, 0, Qt::AlignLeft);
    layout->addStretch(2);
}

}  // namespace quillet
