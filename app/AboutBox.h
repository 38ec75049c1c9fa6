#pragma once

#include <QDialog>

// The About box: application title, full version, the maker's notice and support lines.
class TAboutBox final : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);
};

// The program's version in its full four-part form, e.g. "1.0.0.0".
QString FullVersionText();
