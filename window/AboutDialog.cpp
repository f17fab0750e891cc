#include "window/AboutDialog.h"

#include "app/Kestrum.h"
#include "base/Maker.h"
#include "base/TextHelpers.h"
#include "screen/Screen.h"
#include "window/FocusKeeper.h"

#include "Version.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
void makeBlue(QLabel *label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
}
} // namespace

void LogoFrame::mouseDoubleClickEvent(QMouseEvent *event)
{
    Q_UNUSED(event);
    Q_EMIT doubleClicked();
}

void LogoImage::paintEvent(QPaintEvent *)
{
    // A kestrel's wing over a horizon: the maker's mark, in the program's blue.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(4, 4, -4, -4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 60, 160));
    painter.drawEllipse(area);

    QPainterPath wing;
    const qreal w = area.width();
    const qreal h = area.height();
    const QPointF o = area.topLeft();
    wing.moveTo(o + QPointF(0.12 * w, 0.62 * h));
    wing.cubicTo(o + QPointF(0.35 * w, 0.20 * h), o + QPointF(0.60 * w, 0.22 * h),
                 o + QPointF(0.90 * w, 0.35 * h));
    wing.cubicTo(o + QPointF(0.62 * w, 0.40 * h), o + QPointF(0.45 * w, 0.50 * h),
                 o + QPointF(0.12 * w, 0.62 * h));
    painter.setBrush(QColor(255, 190, 60));
    painter.drawPath(wing);

    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(o + QPointF(0.18 * w, 0.75 * h), o + QPointF(0.82 * w, 0.75 * h));
}

AboutDialog::AboutDialog(Kestrum &app, QWidget *mainWindow) : QDialog(mainWindow), m_app(app)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    new FocusKeeper(*this, m_app.dialogs, true);

    auto *frameLogo = new LogoFrame(this);
    frameLogo->setObjectName(QStringLiteral("FrameLogo"));
    frameLogo->setFrameShape(QFrame::Box);
    auto *image = new LogoImage(frameLogo);
    image->setObjectName(QStringLiteral("Image1"));
    auto *label3 = new QLabel(QStringLiteral("Copyright Brivane"), frameLogo);
    label3->setObjectName(QStringLiteral("Label3"));
    makeBlue(label3);
    auto *label6 = new QLabel(QStringLiteral("Also visit ") + MakerAddress, frameLogo);
    label6->setObjectName(QStringLiteral("Label6"));
    makeBlue(label6);
    auto *logoLayout = new QHBoxLayout(frameLogo);
    logoLayout->addWidget(image);
    auto *logoTexts = new QVBoxLayout;
    logoTexts->addWidget(label3);
    logoTexts->addWidget(label6);
    logoLayout->addLayout(logoTexts);

    auto *label4 = new QLabel(VersionText(), this);
    label4->setObjectName(QStringLiteral("Label4"));
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CmdSluit"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frameLogo);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(label4);
    bottom->addStretch();
    bottom->addWidget(close);
    layout->addLayout(bottom);

    connect(frameLogo, &LogoFrame::doubleClicked, this, &AboutDialog::FrameLogoDoubleClick);
    connect(close, &QPushButton::clicked, this, &AboutDialog::CmdSluit);
}

QString AboutDialog::VersionText()
{
    return QStringLiteral("Software version: ") + NumToText(KestrumVersionMajor) +
           QLatin1Char('.') + NumToText(KestrumVersionMinor);
}

void AboutDialog::FrameLogoDoubleClick()
{
    qint16 &level = m_app.globals.DebugLevel;
    level = qint16(level + 1);
    if (level > 2)
        level = 0;
    m_app.screen.setServiceView(level == 2);
}

void AboutDialog::CmdSluit()
{
    hide();
    close();
}
