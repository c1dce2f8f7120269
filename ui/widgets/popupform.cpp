#include "popupform.h"
#include "ui_popupform.h"

#include <QApplication>
#include <QPainter>
#include <QPolygon>

PopupForm::PopupForm(QWidget *parent)
    : QWidget(parent), ui(new Ui::PopupForm)
{
    ui->setupUi(this);
    // A hint, not a pop-up: it takes neither the keyboard nor the click that
    // ends it, so the user's first press on "Add Song" or on a row works.
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint
                   | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QStringLiteral("QWidget{") + QStringLiteral("    background-color:transparent;")
                  + QStringLiteral("}") + QStringLiteral("QLabel{") + QStringLiteral("   background-color:")
                  + fillColor.name() + QStringLiteral(";") + QStringLiteral("   color:black;")
                  + QStringLiteral("   font-size:12pt;") + QStringLiteral("   padding:10px;")
                  + QStringLiteral("   border-radius:10px;") + QStringLiteral("}"));
}

PopupForm::~PopupForm()
{
    delete ui;
}

void PopupForm::showEvent(QShowEvent *event)
{
    qApp->installEventFilter(this);
    QWidget::showEvent(event);
}

void PopupForm::hideEvent(QHideEvent *event)
{
    qApp->removeEventFilter(this);
    QWidget::hideEvent(event);
}

// Any press or key goes where it was meant and ends the hint.
bool PopupForm::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type t = event->type();
    if (t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick || t == QEvent::KeyPress)
        hide();
    return QWidget::eventFilter(watched, event);
}

void PopupForm::setText(const QString &text)
{
    ui->label->setText(text);
    // As tall as the text needs at the bubble's width, in every language:
    // the style sheet's font and padding count, so it is applied first.
    ensurePolished();
    ui->label->ensurePolished();
    resize(width(), heightForWidth(width()));
}

void PopupForm::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(QPen(fillColor, 1));
    p.setBrush(fillColor);
    const QRect area = rect();
    const int m = (area.left() + area.right()) / 2;
    const int t = ui->label->y();
    p.drawPolygon(QPolygon({QPoint(m, 0), QPoint(m + t, t), QPoint(m - t, t)}));
}
