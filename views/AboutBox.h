#pragma once

#include "toolkit/Form.h"

#include <memory>

namespace Ui {
class TAboutBox;
}

namespace varnel {

class TImage;

// The about box: the banner and the version.
class TAboutBox : public TForm {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    TImage* ProgramIcon() const;

private:
    void prBegin();

    std::unique_ptr<Ui::TAboutBox> ui;
};

inline TAboutBox* AboutBox = nullptr;

} // namespace varnel
