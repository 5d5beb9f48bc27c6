#include "foundation/tip_window_win.h"

#include <memory>

#include "base/ansi_text_win.h"
#include "foundation/files_win.h"
#include "foundation/translate.h"
#include "ui/application_win.h"
#include "ui/graphics_win.h"
#include "ui/std_controls_win.h"

namespace kv {

void TAdvForm::PictureClick(ui::TComponent*) { ui::ShellOpen(URL); }

bool DisplayAdv(const std::string& name, const std::string& url) {
  ui::TBitmap picture;
  picture.LoadFromJpegFile(AppDirW() + L"\\" + AnsiToWString(name) + L".jpg");

  auto form = std::make_unique<TAdvForm>();
  form->URL = url;
  form->SetBorderStyle(ui::TBorderStyle::Single);
  form->SetBorderIcons(0);

  ui::TButton& close = form->Create<ui::TButton>();
  close.SetParent(form.get());
  close.SetText(Translate("Close"));
  close.SetModalResult(ui::mrOk);
  ui::TCheckBox& check = form->Create<ui::TCheckBox>();
  check.SetParent(form.get());
  check.SetText(Translate("Do not show this tip again"));
  ui::TImage& image = form->Create<ui::TImage>();
  image.SetParent(form.get());
  image.SetCursor(32649);  // the hand
  image.SetAutoSize(true);
  image.OnClick = [f = form.get()](ui::TComponent* s) { f->PictureClick(s); };
  image.SetBounds(0, 0, picture.Width(), picture.Height());
  image.SetPicture(std::move(picture));

  const int pictureHeight = image.Height();
  form->SetClientWidth(image.Width());
  form->SetClientHeight(pictureHeight + close.Height() + 10);
  check.SetBounds(5, pictureHeight + 5, 200, check.Height());
  close.SetBounds(form->Width() - close.Width() - 15, check.Top(), close.Width(), close.Height());
  // On the main form, shown or not; on the work area only when there is none.
  form->CenterOn(ui::Application().MainForm());
  form->ShowModal();
  return check.Checked();
}

}  // namespace kv
