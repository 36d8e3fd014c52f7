#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class AboutDialog;
}

// Names the maker, the product and the tool's version; no logic beyond closing.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

private:
    std::unique_ptr<Ui::AboutDialog> ui;
};
