#pragma once
// The pick list of returned-receipt marking: the open log rows a name search
// found, of which the user selects those to add. Each item shows the mailer
// number and the first recipient line; hovering shows the whole address.

#include "app/data/U_Records.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TF_MultiMailers;
}

class TF_MultiMailers : public QDialog {
    Q_OBJECT

public:
    explicit TF_MultiMailers(QWidget* parent = nullptr);
    ~TF_MultiMailers() override;

    void AddItem(TMailerRec mailer);
    int Count() const { return static_cast<int>(mailers_.size()); }
    void SetMessage(const std::string& text);
    // The items selected when "Add To List" closed the list, in list order.
    std::vector<TMailerRec> Selected() const;

private:
    const std::unique_ptr<Ui::TF_MultiMailers> ui;
    std::vector<TMailerRec> mailers_;  // one per item, in item order
};
