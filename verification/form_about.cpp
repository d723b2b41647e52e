#include "verification/form_about.h"

#include "platform/Shell.h"
#include "verification/base_frame.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

namespace {

QLabel* PlacedLabel(QWidget* parent, int left, int top) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->move(left, top);
    return label;
}

void SetText(QLabel* label, const char* text) {
    label->setText(QString::fromUtf8(text));
    label->adjustSize();
}

} // namespace

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner) {
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(248, 194);
    Panel1 = new QFrame(this);
    Panel1->setGeometry(8, 8, 231, 137);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);
    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setGeometry(8, 8, 65, 57);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(TBaseFrame::PagePicture(KindSelectType));
    ProductName = PlacedLabel(Panel1, 88, 16);
    Version = PlacedLabel(Panel1, 88, 40);
    Copyright = PlacedLabel(Panel1, 8, 80);
    Comments = PlacedLabel(Panel1, 8, 104);
    Comments->setWordWrap(true);
    Comments->setFixedWidth(215);
    Comments->installEventFilter(this);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(86, 160, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    setWindowTitle(QString::fromUtf8("О программе"));
    SetText(ProductName, "Поверка НД3.07");
    SetText(Version, "Версия 2.4");
    SetText(Copyright, "© ООО \"Ливат\"");
    SetText(Comments, "http://www.livat.ru");
    QPalette palette = Comments->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    Comments->setPalette(palette);
    Comments->setCursor(Qt::PointingHandCursor);
    QFont link = Comments->font();
    link.setBold(true);
    link.setUnderline(true);
    link.setItalic(false);
    link.setStrikeOut(false);
    Comments->setFont(link);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TAboutBox::CommentsClick(QObject* /*sender*/) {
    plat::ShellExecuteOpen(Comments->text().toStdString());
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Comments && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        CommentsClick(Comments);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
