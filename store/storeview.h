// A full store page (news, search, account and downloads under one header).
// The program's working store interface is the library page's store mode;
// this page holds no store logic, only its form and navigation.
#pragma once

#include <QWidget>

namespace Ui {
class storeView;
}

class storeView : public QWidget
{
    Q_OBJECT

public:
    explicit storeView(QWidget *parent = nullptr);
    ~storeView() override;

signals:
    // The back button; whoever builds the page connects it.
    void goToMainWindow();

private slots:
    void showNews();
    void showSearch();
    void showAccount();
    void showDownloads();
    void backToPlayer();

protected:
    void changeEvent(QEvent *event) override;

private:
    void showPage(int page, bool search, bool account, bool subHeader);

    Ui::storeView *ui;
};
