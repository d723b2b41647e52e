#include "verification/base_frame.h"

#include "verification/main.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <numbers>

// --- TRadioGroup ---

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(8, 4, 8, 4);
}

void TRadioGroup::ClearItems() {
    for (QRadioButton* button : buttons_)
        delete button;
    buttons_.clear();
}

void TRadioGroup::AddItem(const std::string& text) {
    auto* button = new QRadioButton(QString::fromStdString(text), this);
    QObject::connect(button, &QRadioButton::clicked, this, [this, button] {
        SetItemIndex(static_cast<int>(std::find(buttons_.begin(), buttons_.end(), button) -
                                      buttons_.begin()));
        if (OnClick) OnClick();
    });
    layout_->addWidget(button);
    buttons_.push_back(button);
}

QRadioButton* TRadioGroup::Button(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return buttons_[static_cast<std::size_t>(index)];
}

int TRadioGroup::ItemIndex() const {
    for (int i = 0; i < Count(); ++i)
        if (buttons_[static_cast<std::size_t>(i)]->isChecked()) return i;
    return -1;
}

// The buttons stay auto-exclusive so that the arrow keys choose an item as a click does; an
// auto-exclusive button refuses to be unchecked, so the exclusion is lifted while choosing none.
void TRadioGroup::SetItemIndex(int index) {
    for (int i = 0; i < Count(); ++i) {
        QRadioButton* button = buttons_[static_cast<std::size_t>(i)];
        button->setAutoExclusive(false);
        button->setChecked(i == index);
        button->setAutoExclusive(true);
    }
}

// --- Pictures ---

namespace {

// The motif each page shows on its picture.
enum class Motif { Recorder, Thermometer, Magnifier, Insulation, Plug, Wave, Tools, Protocol };

Motif MotifOf(std::uint8_t kind) {
    switch (kind) {
    case KindSelectType:
        return Motif::Recorder;
    case KindClimat:
        return Motif::Thermometer;
    case KindMagnify:
        return Motif::Magnifier;
    case KindImpedance:
    case KindIsolation:
        return Motif::Insulation;
    case KindConnect:
        return Motif::Plug;
    case KindSignal:
    case KindUpDn:
        return Motif::Wave;
    case KindTools:
        return Motif::Tools;
    default:
        return Motif::Protocol;
    }
}

void DrawBackground(QPainter& p, const QRectF& r) {
    QLinearGradient sky(r.topLeft(), r.bottomRight());
    sky.setColorAt(0.0, QColor(225, 236, 250));
    sky.setColorAt(1.0, QColor(120, 160, 210));
    p.fillRect(r, sky);
    p.setPen(QPen(QColor(60, 90, 140), 2));
    p.drawRect(r.adjusted(1, 1, -1, -1));
}

// A mains sine, or a sine with a dip in the middle, across the rectangle.
void DrawSine(QPainter& p, const QRectF& r, bool dip) {
    QPainterPath path;
    const int steps = 80;
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        double amplitude = r.height() / 2;
        if (dip && t > 0.4 && t < 0.7) amplitude *= 0.45;
        const QPointF point(r.left() + t * r.width(),
                            r.center().y() - amplitude * std::sin(t * 6 * std::numbers::pi));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    p.drawPath(path);
}

void DrawRecorder(QPainter& p, const QRectF& r) {
    const QRectF body(r.left() + r.width() * 0.15, r.top() + r.height() * 0.18, r.width() * 0.7,
                      r.height() * 0.64);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(235, 235, 225));
    p.drawRoundedRect(body, 8, 8);
    const QRectF screen = body.adjusted(body.width() * 0.1, body.height() * 0.1,
                                        -body.width() * 0.1, -body.height() * 0.45);
    p.setBrush(QColor(20, 60, 30));
    p.drawRect(screen);
    p.setPen(QPen(QColor(120, 255, 120), 2));
    DrawSine(p, screen.adjusted(4, 6, -4, -6), false);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(200, 40, 40));
    const double y = body.bottom() - body.height() * 0.22;
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(body.left() + body.width() * (0.3 + 0.2 * i), y), 5, 5);
}

void DrawThermometer(QPainter& p, const QRectF& r) {
    const double x = r.center().x();
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(x - 9, r.top() + 18, 18, r.height() - 50), 9, 9);
    p.setBrush(QColor(210, 30, 30));
    p.drawEllipse(QPointF(x, r.bottom() - 26), 16, 16);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(x - 4, r.center().y() - 10, 8, r.bottom() - r.center().y() - 10));
}

void DrawMagnifier(QPainter& p, const QRectF& r) {
    const QPointF centre(r.center().x() - 12, r.center().y() - 12);
    p.setPen(QPen(QColor(90, 60, 20), 12, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(28, 28), QPointF(r.right() - 22, r.bottom() - 22));
    p.setPen(QPen(QColor(40, 40, 40), 5));
    p.setBrush(QColor(200, 230, 255, 170));
    p.drawEllipse(centre, 36, 36);
}

void DrawInsulation(QPainter& p, const QRectF& r) {
    QPolygonF bolt;
    const double x = r.left(), y = r.top(), w = r.width(), h = r.height();
    bolt << QPointF(x + w * 0.55, y + h * 0.12) << QPointF(x + w * 0.3, y + h * 0.55)
         << QPointF(x + w * 0.5, y + h * 0.55) << QPointF(x + w * 0.4, y + h * 0.88)
         << QPointF(x + w * 0.72, y + h * 0.42) << QPointF(x + w * 0.52, y + h * 0.42);
    p.setPen(QPen(QColor(60, 40, 0), 2));
    p.setBrush(QColor(250, 210, 30));
    p.drawPolygon(bolt);
}

void DrawPlug(QPainter& p, const QRectF& r) {
    p.setPen(QPen(QColor(30, 30, 30), 2));
    p.setBrush(QColor(60, 60, 70));
    const QRectF plug(r.center().x() - 28, r.center().y() - 10, 56, 44);
    p.drawRoundedRect(plug, 6, 6);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(plug.left() + 12, plug.top() - 26, 8, 26));
    p.drawRect(QRectF(plug.right() - 20, plug.top() - 26, 8, 26));
    p.setPen(QPen(QColor(30, 30, 30), 5));
    p.drawLine(QPointF(plug.center().x(), plug.bottom()), QPointF(plug.center().x(), r.bottom()));
}

void DrawWave(QPainter& p, const QRectF& r, bool dip) {
    const QRectF area = r.adjusted(14, 30, -14, -30);
    p.setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
    p.drawLine(QPointF(area.left(), area.center().y()), QPointF(area.right(), area.center().y()));
    p.setPen(QPen(QColor(170, 20, 20), 3));
    DrawSine(p, area, dip);
}

void DrawTools(QPainter& p, const QRectF& r) {
    p.setPen(QPen(QColor(30, 30, 30), 2));
    p.setBrush(QColor(245, 245, 235));
    const QRectF dial(r.left() + 20, r.top() + 24, r.width() - 40, r.height() - 48);
    p.drawRoundedRect(dial, 10, 10);
    p.drawArc(dial.adjusted(12, 14, -12, 20), 30 * 16, 120 * 16);
    p.setPen(QPen(QColor(200, 20, 20), 3));
    p.drawLine(QPointF(dial.center().x(), dial.bottom() - 18),
               QPointF(dial.right() - 26, dial.top() + 22));
}

// The finish page ends passed and failed verifications alike, so its picture is the protocol
// sheet about to be written, not a verdict.
void DrawProtocolSheet(QPainter& p, const QRectF& r) {
    const QRectF sheet(r.left() + r.width() * 0.25, r.top() + r.height() * 0.14, r.width() * 0.5,
                       r.height() * 0.72);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(252, 252, 248));
    p.drawRect(sheet);
    p.setPen(QPen(QColor(90, 90, 110), 2));
    for (int line = 1; line <= 7; ++line) {
        const double y = sheet.top() + sheet.height() * line / 8.5;
        const double right = line == 1 ? sheet.center().x() : sheet.right() - 8;
        p.drawLine(QPointF(sheet.left() + 8, y), QPointF(right, y));
    }
}

void DrawMotif(QPainter& p, const QRectF& r, std::uint8_t kind) {
    switch (MotifOf(kind)) {
    case Motif::Recorder:
        return DrawRecorder(p, r);
    case Motif::Thermometer:
        return DrawThermometer(p, r);
    case Motif::Magnifier:
        return DrawMagnifier(p, r);
    case Motif::Insulation:
        return DrawInsulation(p, r);
    case Motif::Plug:
        return DrawPlug(p, r);
    case Motif::Wave:
        return DrawWave(p, r, false);
    case Motif::Tools:
        return DrawTools(p, r);
    case Motif::Protocol:
        return DrawProtocolSheet(p, r);
    }
}

} // namespace

QPixmap TBaseFrame::PagePicture(std::uint8_t kind) {
    const bool first = kind == KindSelectType;
    QPixmap picture(first ? 169 : 132, first ? 177 : 133);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(0, 0, picture.width(), picture.height());
    DrawBackground(p, area);
    DrawMotif(p, area, kind);
    return picture;
}

// --- TBaseFrame ---

TBaseFrame::TBaseFrame(QWidget* owner, std::uint8_t kind) : QWidget(owner) {
    Image = new QLabel(this);
    Image->setGeometry(10, 10, 105, 105);
    Image->setScaledContents(true);
    CaptionLabel = new QLabel(this);
    CaptionLabel->move(140, 20);
    resize(DesignWidth, DesignHeight);

    FKind = kind;
    FSkipPeriodic = false;
    if (MainForm) MainForm->AddFrame(this);
    setVisible(false);
    FillParent();
    PlaceImageAndCaption();
    if (kind == KindIsolation) FSkipPeriodic = true;
}

TBaseFrame::~TBaseFrame() = default;

void TBaseFrame::ShowFrame() {
    setVisible(true);
}

// A page panel that has been given its size is followed at once; one that has not yet been laid
// out keeps the page at its design size until it gets one.
void TBaseFrame::FillParent() {
    QWidget* parent = parentWidget();
    if (!parent) return;
    parent->installEventFilter(this);
    if (parent->testAttribute(Qt::WA_Resized)) setGeometry(parent->rect());
}

bool TBaseFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void TBaseFrame::PlaceImageAndCaption() {
    const QPixmap picture = PagePicture(FKind);
    Image->setScaledContents(false);
    Image->setAlignment(Qt::AlignCenter);
    Image->setPixmap(picture);
    Image->setGeometry(10, 10, picture.width(), picture.height());

    QFont title = font();
    if (title.pointSizeF() > 0)
        title.setPointSizeF(title.pointSizeF() + 4);
    else // a pixel-sized font: 4 points at the screen's 96 dots per inch
        title.setPixelSize(title.pixelSize() + 5);
    title.setBold(true);
    title.setItalic(false);
    title.setUnderline(false);
    title.setStrikeOut(false);
    CaptionLabel->setFont(title);
    CaptionLabel->move(Image->x() + Image->width() + 20, 10);
}

void TBaseFrame::SetLabelText(QLabel* label, const std::string& text) {
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromStdString(text));
    label->adjustSize();
}

void TBaseFrame::SetWrappedText(QLabel* label, const std::string& text, int right) {
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setText(QString::fromStdString(text));
    const int width = std::max(1, right - label->x());
    label->resize(width, label->heightForWidth(width));
}

void TBaseFrame::StackInstructions(const std::vector<QLabel*>& labels,
                                   const std::vector<QWidget*>& buttonsBeside) {
    constexpr int Gap = 4;
    int below = 0;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        QLabel* label = labels[i];
        const int designTop = label->y();
        label->move(label->x(), std::max(designTop, below));
        below = label->geometry().bottom() + 1 + Gap;
        QWidget* button = i < buttonsBeside.size() ? buttonsBeside[i] : nullptr;
        if (!button) continue;
        // The design puts a button's top 6 pixels above its line.
        const int lastLine = label->geometry().bottom() + 1 - label->fontMetrics().height();
        button->move(button->x(), std::max(button->y(), lastLine - 6));
    }
}

QLabel* TBaseFrame::NewLabel(const std::string& text, int left, int top) {
    auto* label = new QLabel(this);
    label->move(left, top);
    SetLabelText(label, text);
    return label;
}
