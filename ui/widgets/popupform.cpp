#include "popupform.h"
#include "ui_popupform.h"

#include <QPainter>
#include <QPolygon>

PopupForm::PopupForm(QWidget *parent)
    : QWidget(parent), ui(new Ui::PopupForm)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
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
