#pragma once
// The modal tip window: a picture that opens a web address when clicked,
// a close button and the check box "Do not show this tip again".
#include <string>

#include "ui/forms_win.h"

namespace kv {

class TAdvForm : public ui::TForm {
 public:
  const char* ClassName() const override { return "TAdvForm"; }
  std::string URL;
  // The picture's click: opens URL with its associated program.
  void PictureClick(ui::TComponent* sender);
};

// Shows the picture AppDir\name.jpg with the link url; true when the user
// ticked the check box. A missing or broken picture raises before any window
// is made.
bool DisplayAdv(const std::string& name, const std::string& url);

}  // namespace kv
