// Yellow hint bubble with a pointer rising from its top edge.
#pragma once

#include <QColor>
#include <QWidget>

namespace Ui {
class PopupForm;
}

class PopupForm : public QWidget
{
    Q_OBJECT

public:
    explicit PopupForm(QWidget *parent = nullptr);
    ~PopupForm() override;

    // Sets the hint and makes the bubble as tall as it needs.
    void setText(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Ui::PopupForm *ui;
    QColor fillColor{255, 204, 0};
};
