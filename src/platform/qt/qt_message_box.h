#pragma once

#include <memory>

#include "platform/message_box.h"

class QWidget;

namespace lcdprog::platform {

// A modal QMessageBox with one OK button. The box is centred on `parent` when one is given,
// otherwise on the active window.
class QtMessageBox final : public MessageBox {
  public:
    explicit QtMessageBox(QWidget* parent = nullptr);
    ~QtMessageBox() override;
    QtMessageBox(const QtMessageBox&) = delete;
    QtMessageBox& operator=(const QtMessageBox&) = delete;
    void Show(const std::string& text, const std::string& title, MessageIcon icon) override;
    void ShowDetailed(const std::string& text, const std::string& title, MessageIcon icon,
                      const std::string& detail) override;
    SaveChoice AskSave(const std::string& text, const std::string& title) override;
    bool AskTwo(const std::string& text, const std::string& title, const std::string& first,
                const std::string& second) override;
    std::size_t AskChoice(const std::string& text, const std::string& title,
                          const std::vector<std::string>& choices) override;

  private:
    class DetailButtonTexts;

    QWidget* parent_;
    std::unique_ptr<DetailButtonTexts> detailTexts_;
};

}  // namespace lcdprog::platform
