// The standard classes and their layout properties.
#include <windows.h>

#include <memory>
#include <stdexcept>

#include "ui/forms_win.h"
#include "ui/graphics_win.h"
#include "ui/layout_loader_win.h"
#include "ui/save_dialog_win.h"
#include "ui/std_controls_win.h"
#include "ui/toolbar_win.h"

namespace kv::ui {

TColor LayoutColor(const TLayoutValue& v, const TLayoutContext& ctx) {
  if (v.kind == TLayoutValue::Kind::Integer) return static_cast<TColor>(v.number);
  return static_cast<TColor>(ctx.Enum(
      v, {{"clBtnFace", int(clBtnFace)},     {"clWindow", int(clWindow)},
          {"clWindowText", int(clWindowText)}, {"clInfoBk", int(clInfoBk)},
          {"clHighlight", int(clHighlight)}, {"clBtnText", int(clBtnText)},
          {"clGrayText", int(clGrayText)},   {"clBlack", int(clBlack)},
          {"clWhite", int(clWhite)},         {"clMaroon", int(clMaroon)},
          {"clRed", int(clRed)},             {"clBlue", int(clBlue)},
          {"clNavy", int(clNavy)},           {"clGreen", int(clGreen)},
          {"clSilver", int(clSilver)},       {"clGray", int(clGray)}}));
}

int LayoutCursor(const TLayoutValue& v, const TLayoutContext& ctx) {
  return ctx.Enum(v, {{"crDefault", 0}, {"crArrow", 32512}, {"crHandPoint", 32649},
                      {"crHourGlass", 32514}, {"crIBeam", 32513}});
}

uint32_t LayoutUnsigned(const TLayoutValue& v, const TLayoutContext& ctx) {
  const int64_t n = ctx.Integer(v);
  if (n < 0 || n > UINT32_MAX) ctx.Fail("expected a number from 0 to 4294967295");
  return static_cast<uint32_t>(n);
}

int LayoutSigned(const TLayoutValue& v, const TLayoutContext& ctx) {
  const int64_t n = ctx.Integer(v);
  if (n < INT32_MIN || n > INT32_MAX) ctx.Fail("expected a number from -2147483648 to 2147483647");
  return static_cast<int>(n);
}

std::shared_ptr<const BitmapObject> LayoutBitmap(const TLayoutValue& v, const TLayoutContext& ctx) {
  const std::string& name = ctx.String(v);
  try {
    return std::make_shared<const BitmapObject>(LoadBitmapResource(name));
  } catch (const std::runtime_error& e) {
    ctx.Fail(e.what());
  }
}

namespace {

// Adds a property whose setter takes the concrete class.
template <class T, class F>
void Prop(TClassInfo& info, const char* name, F setter) {
  AddProperty<T>(info, name, setter);
}

int Int(const TLayoutValue& v, const TLayoutContext& ctx) {
  return static_cast<int>(ctx.Integer(v));
}

void Components(TClassRegistry& r) {
  TClassInfo& c = r.Register("TComponent", "", nullptr);
  Prop<TComponent>(c, "Tag", [](TComponent& x, auto& v, auto& ctx) { x.SetTag(Int(v, ctx)); });
}

void Controls(TClassRegistry& r) {
  TClassInfo& c = r.Register("TControl", "TComponent", nullptr);
  Prop<TControl>(c, "Left", [](TControl& x, auto& v, auto& ctx) { x.SetLeft(Int(v, ctx)); });
  Prop<TControl>(c, "Top", [](TControl& x, auto& v, auto& ctx) { x.SetTop(Int(v, ctx)); });
  Prop<TControl>(c, "Width", [](TControl& x, auto& v, auto& ctx) { x.SetWidth(Int(v, ctx)); });
  Prop<TControl>(c, "Height", [](TControl& x, auto& v, auto& ctx) { x.SetHeight(Int(v, ctx)); });
  Prop<TControl>(c, "ClientWidth",
                 [](TControl& x, auto& v, auto& ctx) { x.SetClientWidth(Int(v, ctx)); });
  Prop<TControl>(c, "ClientHeight",
                 [](TControl& x, auto& v, auto& ctx) { x.SetClientHeight(Int(v, ctx)); });
  Prop<TControl>(c, "MinWidth",
                 [](TControl& x, auto& v, auto& ctx) { x.SetMinSize(Int(v, ctx), x.MinHeight()); });
  Prop<TControl>(c, "MinHeight",
                 [](TControl& x, auto& v, auto& ctx) { x.SetMinSize(x.MinWidth(), Int(v, ctx)); });
  Prop<TControl>(c, "Align", [](TControl& x, auto& v, auto& ctx) {
    x.SetAlign(static_cast<TAlign>(ctx.Enum(
        v, {{"alNone", int(TAlign::None)}, {"alTop", int(TAlign::Top)},
            {"alBottom", int(TAlign::Bottom)}, {"alLeft", int(TAlign::Left)},
            {"alRight", int(TAlign::Right)}, {"alClient", int(TAlign::Client)}})));
  });
  Prop<TControl>(c, "Anchors", [](TControl& x, auto& v, auto& ctx) {
    x.SetAnchors(static_cast<TAnchors>(ctx.Set(
        v, {{"akLeft", akLeft}, {"akTop", akTop}, {"akRight", akRight}, {"akBottom", akBottom}})));
  });
  Prop<TControl>(c, "Visible", [](TControl& x, auto& v, auto& ctx) { x.SetVisible(ctx.Boolean(v)); });
  Prop<TControl>(c, "Enabled", [](TControl& x, auto& v, auto& ctx) { x.SetEnabled(ctx.Boolean(v)); });
  Prop<TControl>(c, "TabStop", [](TControl& x, auto& v, auto& ctx) { x.SetTabStop(ctx.Boolean(v)); });
  Prop<TControl>(c, "Hint", [](TControl& x, auto& v, auto& ctx) { x.SetHint(ctx.String(v)); });
  Prop<TControl>(c, "Caption", [](TControl& x, auto& v, auto& ctx) { x.SetText(ctx.String(v)); });
  Prop<TControl>(c, "Text", [](TControl& x, auto& v, auto& ctx) { x.SetText(ctx.String(v)); });
  Prop<TControl>(c, "Color", [](TControl& x, auto& v, auto& ctx) { x.SetColor(LayoutColor(v, ctx)); });
  Prop<TControl>(c, "Cursor", [](TControl& x, auto& v, auto& ctx) { x.SetCursor(LayoutCursor(v, ctx)); });
  Prop<TControl>(c, "Font.Name", [](TControl& x, auto& v, auto& ctx) {
    TFontSpec f = x.Font();
    f.name = ctx.String(v);
    x.SetFont(f);
  });
  Prop<TControl>(c, "Font.Height", [](TControl& x, auto& v, auto& ctx) {
    TFontSpec f = x.Font();
    f.height = Int(v, ctx);
    x.SetFont(f);
  });
  Prop<TControl>(c, "Font.Size", [](TControl& x, auto& v, auto& ctx) {
    TFontSpec f = x.Font();
    f.height = FontHeightFromPoints(Int(v, ctx));
    x.SetFont(f);
  });
  Prop<TControl>(c, "Font.Style", [](TControl& x, auto& v, auto& ctx) {
    TFontSpec f = x.Font();
    const int bits = ctx.Set(v, {{"fsBold", 1}, {"fsItalic", 2}, {"fsUnderline", 4}});
    f.bold = bits & 1;
    f.italic = bits & 2;
    f.underline = bits & 4;
    x.SetFont(f);
  });
  Prop<TControl>(c, "Font.Color", [](TControl& x, auto& v, auto& ctx) {
    TFontSpec f = x.Font();
    f.color = LayoutColor(v, ctx);
    x.SetFont(f);
  });
  Prop<TControl>(c, "OnClick",
                 [](TControl& x, auto& v, auto& ctx) { x.OnClick = ctx.template Handler<TNotifyEvent>(v); });
  Prop<TControl>(c, "OnDblClick", [](TControl& x, auto& v, auto& ctx) {
    x.OnDblClick = ctx.template Handler<TNotifyEvent>(v);
  });
}

void Forms(TClassRegistry& r) {
  TClassInfo& f = r.Register("TForm", "TControl", [] { return std::make_unique<TForm>(); });
  Prop<TForm>(f, "BorderStyle", [](TForm& x, auto& v, auto& ctx) {
    x.SetBorderStyle(static_cast<TBorderStyle>(ctx.Enum(
        v, {{"bsNone", int(TBorderStyle::None)}, {"bsSingle", int(TBorderStyle::Single)},
            {"bsSizeable", int(TBorderStyle::Sizeable)}, {"bsDialog", int(TBorderStyle::Dialog)},
            {"bsToolWindow", int(TBorderStyle::ToolWindow)}})));
  });
  Prop<TForm>(f, "BorderIcons", [](TForm& x, auto& v, auto& ctx) {
    x.SetBorderIcons(static_cast<TBorderIcons>(ctx.Set(
        v, {{"biSystemMenu", biSystemMenu}, {"biMinimize", biMinimize}, {"biMaximize", biMaximize}})));
  });
  Prop<TForm>(f, "Position", [](TForm& x, auto& v, auto& ctx) {
    x.SetPosition(static_cast<TPosition>(ctx.Enum(
        v, {{"poDesigned", int(TPosition::Designed)}, {"poScreenCenter", int(TPosition::ScreenCenter)},
            {"poMainFormCenter", int(TPosition::MainFormCenter)}})));
  });
  Prop<TForm>(f, "FormStyle", [](TForm& x, auto& v, auto& ctx) {
    x.SetFormStyle(static_cast<TFormStyle>(ctx.Enum(
        v, {{"fsNormal", int(TFormStyle::Normal)}, {"fsStayOnTop", int(TFormStyle::StayOnTop)}})));
  });
  Prop<TForm>(f, "WindowState", [](TForm& x, auto& v, auto& ctx) {
    x.SetWindowState(static_cast<TWindowState>(ctx.Enum(
        v, {{"wsNormal", int(TWindowState::Normal)}, {"wsMinimized", int(TWindowState::Minimized)},
            {"wsMaximized", int(TWindowState::Maximized)}})));
  });
  Prop<TForm>(f, "ActiveControl", [](TForm& x, const TLayoutValue& v, TLayoutContext& ctx) {
    ctx.Reference<TControl>(v, [&x](TControl* control) { x.SetActiveControl(control); });
  });
  Prop<TForm>(f, "OnCreate",
              [](TForm& x, auto& v, auto& ctx) { x.OnCreate = ctx.template Handler<TNotifyEvent>(v); });
  Prop<TForm>(f, "OnShow",
              [](TForm& x, auto& v, auto& ctx) { x.OnShow = ctx.template Handler<TNotifyEvent>(v); });
  Prop<TForm>(f, "OnResize",
              [](TForm& x, auto& v, auto& ctx) { x.OnResize = ctx.template Handler<TNotifyEvent>(v); });
  Prop<TForm>(f, "OnPaint",
              [](TForm& x, auto& v, auto& ctx) { x.OnPaint = ctx.template Handler<TNotifyEvent>(v); });
  Prop<TForm>(f, "OnClose",
              [](TForm& x, auto& v, auto& ctx) { x.OnClose = ctx.template Handler<TCloseEvent>(v); });
  Prop<TForm>(f, "OnCloseQuery", [](TForm& x, auto& v, auto& ctx) {
    x.OnCloseQuery = ctx.template Handler<TCloseQueryEvent>(v);
  });
  r.Register("TFrame", "TControl", [] { return std::make_unique<TFrame>(); });
}

constexpr std::initializer_list<std::pair<const char*, int>> kAlignments = {
    {"taLeftJustify", int(TAlignment::Left)},
    {"taCenter", int(TAlignment::Center)},
    {"taRightJustify", int(TAlignment::Right)}};

void Containers(TClassRegistry& r) {
  TClassInfo& p = r.Register("TPanel", "TControl", [] { return std::make_unique<TPanel>(); });
  Prop<TPanel>(p, "BevelOuter", [](TPanel& x, auto& v, auto& ctx) {
    x.SetBevelOuter(static_cast<TBevel>(ctx.Enum(
        v, {{"bvNone", int(TBevel::None)}, {"bvRaised", int(TBevel::Raised)}, {"bvLowered", int(TBevel::Lowered)}})));
  });
  Prop<TPanel>(p, "BevelEdges", [](TPanel& x, auto& v, auto& ctx) {
    x.SetBevelEdges(static_cast<TBevelEdges>(
        ctx.Set(v, {{"beLeft", BF_LEFT}, {"beTop", BF_TOP}, {"beRight", BF_RIGHT}, {"beBottom", BF_BOTTOM}})));
  });
  Prop<TPanel>(p, "Alignment", [](TPanel& x, auto& v, auto& ctx) {
    x.SetAlignment(static_cast<TAlignment>(ctx.Enum(v, kAlignments)));
  });
  Prop<TPanel>(p, "DoubleBuffered",
               [](TPanel& x, auto& v, auto& ctx) { x.SetDoubleBuffered(ctx.Boolean(v)); });
  r.Register("TGroupBox", "TControl", [] { return std::make_unique<TGroupBox>(); });
  TClassInfo& g = r.Register("TRadioGroup", "TGroupBox", [] { return std::make_unique<TRadioGroup>(); });
  Prop<TRadioGroup>(g, "Items", [](TRadioGroup& x, auto& v, auto& ctx) { x.SetItems(ctx.Strings(v)); });
  Prop<TRadioGroup>(g, "ItemIndex",
                    [](TRadioGroup& x, auto& v, auto& ctx) { x.SetItemIndex(Int(v, ctx)); });
}

void Buttons(TClassRegistry& r) {
  TClassInfo& b = r.Register("TButton", "TControl", [] { return std::make_unique<TButton>(); });
  Prop<TButton>(b, "Default", [](TButton& x, auto& v, auto& ctx) { x.SetDefault(ctx.Boolean(v)); });
  Prop<TButton>(b, "Cancel", [](TButton& x, auto& v, auto& ctx) { x.SetCancel(ctx.Boolean(v)); });
  Prop<TButton>(b, "ModalResult", [](TButton& x, auto& v, auto& ctx) {
    x.SetModalResult(ctx.Enum(v, {{"mrNone", mrNone}, {"mrOk", mrOk}, {"mrCancel", mrCancel},
                                  {"mrAbort", mrAbort}, {"mrRetry", mrRetry}, {"mrIgnore", mrIgnore},
                                  {"mrYes", mrYes}, {"mrNo", mrNo}}));
  });
  r.Register("TSpeedButton", "TButton", [] { return std::make_unique<TSpeedButton>(); });
  TClassInfo& c = r.Register("TCheckBox", "TControl", [] { return std::make_unique<TCheckBox>(); });
  Prop<TCheckBox>(c, "Checked", [](TCheckBox& x, auto& v, auto& ctx) { x.SetChecked(ctx.Boolean(v)); });
  TClassInfo& o = r.Register("TRadioButton", "TControl", [] { return std::make_unique<TRadioButton>(); });
  Prop<TRadioButton>(o, "Checked",
                     [](TRadioButton& x, auto& v, auto& ctx) { x.SetChecked(ctx.Boolean(v)); });
}

void TextControls(TClassRegistry& r) {
  TClassInfo& l = r.Register("TLabel", "TControl", [] { return std::make_unique<TLabel>(); });
  Prop<TLabel>(l, "AutoSize", [](TLabel& x, auto& v, auto& ctx) { x.SetAutoSize(ctx.Boolean(v)); });
  Prop<TLabel>(l, "WordWrap", [](TLabel& x, auto& v, auto& ctx) { x.SetWordWrap(ctx.Boolean(v)); });
  Prop<TLabel>(l, "ShowAccelChar", [](TLabel& x, auto& v, auto& ctx) { x.SetShowAccelChar(ctx.Boolean(v)); });
  Prop<TLabel>(l, "Alignment", [](TLabel& x, auto& v, auto& ctx) {
    x.SetAlignment(static_cast<TAlignment>(ctx.Enum(v, kAlignments)));
  });
  TClassInfo& e = r.Register("TEdit", "TControl", [] { return std::make_unique<TEdit>(); });
  Prop<TEdit>(e, "ReadOnly", [](TEdit& x, auto& v, auto& ctx) { x.SetReadOnly(ctx.Boolean(v)); });
  Prop<TEdit>(e, "BorderStyle", [](TEdit& x, auto& v, auto& ctx) {
    x.SetBorderStyle(static_cast<TBorderStyle>(
        ctx.Enum(v, {{"bsNone", int(TBorderStyle::None)}, {"bsSingle", int(TBorderStyle::Single)}})));
  });
  Prop<TEdit>(e, "OnChange",
              [](TEdit& x, auto& v, auto& ctx) { x.OnChange = ctx.template Handler<TNotifyEvent>(v); });
  Prop<TEdit>(e, "OnKeyPress", [](TEdit& x, auto& v, auto& ctx) {
    x.OnKeyPress = ctx.template Handler<TKeyPressEvent>(v);
  });
  TClassInfo& m = r.Register("TMemo", "TEdit", [] { return std::make_unique<TMemo>(); });
  Prop<TMemo>(m, "ScrollBars", [](TMemo& x, auto& v, auto& ctx) {
    x.SetScrollBars(static_cast<TScrollStyle>(ctx.Enum(
        v, {{"ssNone", int(TScrollStyle::None)}, {"ssHorizontal", int(TScrollStyle::Horizontal)},
            {"ssVertical", int(TScrollStyle::Vertical)}, {"ssBoth", int(TScrollStyle::Both)}})));
  });
  Prop<TMemo>(m, "WordWrap", [](TMemo& x, auto& v, auto& ctx) { x.SetWordWrap(ctx.Boolean(v)); });
  TClassInfo& cb = r.Register("TComboBox", "TControl", [] { return std::make_unique<TComboBox>(); });
  Prop<TComboBox>(cb, "Items", [](TComboBox& x, auto& v, auto& ctx) { x.SetItems(ctx.Strings(v)); });
  Prop<TComboBox>(cb, "ItemIndex", [](TComboBox& x, auto& v, auto& ctx) { x.SetItemIndex(Int(v, ctx)); });
  Prop<TComboBox>(cb, "OnChange", [](TComboBox& x, auto& v, auto& ctx) {
    x.OnChange = ctx.template Handler<TNotifyEvent>(v);
  });
}

void Indicators(TClassRegistry& r) {
  TClassInfo& t = r.Register("TTrackBar", "TControl", [] { return std::make_unique<TTrackBar>(); });
  Prop<TTrackBar>(t, "Min", [](TTrackBar& x, auto& v, auto& ctx) { x.SetRange(Int(v, ctx), x.Max()); });
  Prop<TTrackBar>(t, "Max", [](TTrackBar& x, auto& v, auto& ctx) { x.SetRange(x.Min(), Int(v, ctx)); });
  Prop<TTrackBar>(t, "Position", [](TTrackBar& x, auto& v, auto& ctx) { x.SetPosition(Int(v, ctx)); });
  Prop<TTrackBar>(t, "LineSize", [](TTrackBar& x, auto& v, auto& ctx) { x.SetLineSize(Int(v, ctx)); });
  Prop<TTrackBar>(t, "PageSize", [](TTrackBar& x, auto& v, auto& ctx) { x.SetPageSize(Int(v, ctx)); });
  Prop<TTrackBar>(t, "Frequency", [](TTrackBar& x, auto& v, auto& ctx) { x.SetFrequency(Int(v, ctx)); });
  Prop<TTrackBar>(t, "OnChange", [](TTrackBar& x, auto& v, auto& ctx) {
    x.OnChange = ctx.template Handler<TNotifyEvent>(v);
  });
  TClassInfo& p = r.Register("TProgressBar", "TControl", [] { return std::make_unique<TProgressBar>(); });
  Prop<TProgressBar>(p, "Max", [](TProgressBar& x, auto& v, auto& ctx) { x.SetRange(0, Int(v, ctx)); });
  Prop<TProgressBar>(p, "Position",
                     [](TProgressBar& x, auto& v, auto& ctx) { x.SetPosition(Int(v, ctx)); });
  TClassInfo& s = r.Register("TStatusBar", "TControl", [] { return std::make_unique<TStatusBar>(); });
  // Panels = ("text", width, "text", width, ...)
  Prop<TStatusBar>(s, "Panels", [](TStatusBar& x, const TLayoutValue& v, TLayoutContext& ctx) {
    if (v.kind != TLayoutValue::Kind::List || v.items.size() % 2 != 0)
      ctx.Fail("expected (\"text\", width, ...) pairs");
    std::vector<TStatusBar::TPanelSpec> panels;
    for (size_t i = 0; i < v.items.size(); i += 2)
      panels.push_back({ctx.String(v.items[i]), Int(v.items[i + 1], ctx)});
    x.SetPanels(std::move(panels));
  });
  TClassInfo& i = r.Register("TImage", "TControl", [] { return std::make_unique<TImage>(); });
  Prop<TImage>(i, "AutoSize", [](TImage& x, auto& v, auto& ctx) { x.SetAutoSize(ctx.Boolean(v)); });
  Prop<TImage>(i, "Stretch", [](TImage& x, auto& v, auto& ctx) { x.SetStretch(ctx.Boolean(v)); });
  Prop<TImage>(i, "Center", [](TImage& x, auto& v, auto& ctx) { x.SetCenter(ctx.Boolean(v)); });
  Prop<TImage>(i, "Transparent", [](TImage& x, auto& v, auto& ctx) { x.SetTransparent(ctx.Boolean(v)); });
  Prop<TImage>(i, "Picture", [](TImage& x, auto& v, auto& ctx) {  // a bitmap resource
    TBitmap picture;
    picture.LoadFromResource(ctx.String(v));
    x.SetPicture(std::move(picture));
  });
}

void Bars(TClassRegistry& r) {
  TClassInfo& l = r.Register("TImageList", "TComponent", [] { return std::make_unique<TImageList>(); });
  Prop<TImageList>(l, "Width", [](TImageList& x, auto& v, auto& ctx) { x.SetSize(Int(v, ctx), x.Height()); });
  Prop<TImageList>(l, "Height", [](TImageList& x, auto& v, auto& ctx) { x.SetSize(x.Width(), Int(v, ctx)); });
  Prop<TImageList>(l, "Bitmap",
                   [](TImageList& x, auto& v, auto& ctx) { x.LoadStripResource(ctx.String(v)); });
  TClassInfo& t = r.Register("TToolBar", "TControl", [] { return std::make_unique<TToolBar>(); });
  Prop<TToolBar>(t, "Images", [](TToolBar& x, const TLayoutValue& v, TLayoutContext& ctx) {
    ctx.Reference<TImageList>(v, [&x](TImageList* images) { x.SetImages(images); });
  });
  Prop<TToolBar>(t, "ButtonWidth", [](TToolBar& x, auto& v, auto& ctx) {
    x.SetButtonSize(Int(v, ctx), x.ButtonHeight());
  });
  Prop<TToolBar>(t, "ButtonHeight", [](TToolBar& x, auto& v, auto& ctx) {
    x.SetButtonSize(x.ButtonWidth(), Int(v, ctx));
  });
  Prop<TToolBar>(t, "Flat", [](TToolBar& x, auto& v, auto& ctx) { x.SetFlat(ctx.Boolean(v)); });
  Prop<TToolBar>(t, "ShowCaptions",
                 [](TToolBar& x, auto& v, auto& ctx) { x.SetShowCaptions(ctx.Boolean(v)); });
  Prop<TToolBar>(t, "AutoSize", [](TToolBar& x, auto& v, auto& ctx) { x.SetAutoSize(ctx.Boolean(v)); });
  TClassInfo& b = r.Register("TToolButton", "TComponent", [] { return std::make_unique<TToolButton>(); });
  Prop<TToolButton>(b, "Caption", [](TToolButton& x, auto& v, auto& ctx) { x.SetCaption(ctx.String(v)); });
  Prop<TToolButton>(b, "Hint", [](TToolButton& x, auto& v, auto& ctx) { x.SetHint(ctx.String(v)); });
  Prop<TToolButton>(b, "ImageIndex",
                    [](TToolButton& x, auto& v, auto& ctx) { x.SetImageIndex(Int(v, ctx)); });
  Prop<TToolButton>(b, "Enabled", [](TToolButton& x, auto& v, auto& ctx) { x.SetEnabled(ctx.Boolean(v)); });
  Prop<TToolButton>(b, "Visible", [](TToolButton& x, auto& v, auto& ctx) { x.SetVisible(ctx.Boolean(v)); });
  Prop<TToolButton>(b, "Style", [](TToolButton& x, auto& v, auto& ctx) {
    x.SetStyle(static_cast<TToolButtonStyle>(ctx.Enum(
        v, {{"tbsButton", int(TToolButtonStyle::Button)}, {"tbsSeparator", int(TToolButtonStyle::Separator)},
            {"tbsCheck", int(TToolButtonStyle::Check)}})));
  });
  Prop<TToolButton>(b, "OnClick", [](TToolButton& x, auto& v, auto& ctx) {
    x.OnClick = ctx.template Handler<TNotifyEvent>(v);
  });
  TClassInfo& s = r.Register("TSaveDialog", "TComponent", [] { return std::make_unique<TSaveDialog>(); });
  Prop<TSaveDialog>(s, "Title", [](TSaveDialog& x, auto& v, auto& ctx) { x.Title = ctx.String(v); });
  Prop<TSaveDialog>(s, "Filter", [](TSaveDialog& x, auto& v, auto& ctx) { x.Filter = ctx.String(v); });
  Prop<TSaveDialog>(s, "DefaultExt", [](TSaveDialog& x, auto& v, auto& ctx) { x.DefaultExt = ctx.String(v); });
  Prop<TSaveDialog>(s, "Options", [](TSaveDialog& x, auto& v, auto& ctx) {
    const int bits = ctx.Set(v, {{"ofOverwritePrompt", 1}, {"ofHideReadOnly", 2}, {"ofEnableSizing", 4}});
    x.OverwritePrompt = bits & 1;
    x.HideReadOnly = bits & 2;
    x.EnableSizing = bits & 4;
  });
}

}  // namespace

void RegisterStandardClasses(TClassRegistry& registry) {
  Components(registry);
  Controls(registry);
  Forms(registry);
  Containers(registry);
  Buttons(registry);
  TextControls(registry);
  Indicators(registry);
  Bars(registry);
}

}  // namespace kv::ui
