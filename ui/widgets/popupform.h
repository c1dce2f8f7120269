// Yellow hint bubble with a pointer rising from its top edge. It takes no
// input: the next press or key anywhere goes where it was meant and hides it.
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
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Ui::PopupForm *ui;
    QColor fillColor{255, 204, 0};
};
