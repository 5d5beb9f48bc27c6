#include "wizard/restorer_win.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "tests/wizard/wizard_test_util.h"
#include "ui/std_controls_win.h"

namespace kv {
namespace {

using test::WizardFixture;

// A form with the wizard's shapes: a bottom panel, a client-aligned panel
// holding a control anchored left and right, and an unnamed panel.
class Geometry : public WizardFixture {
 protected:
  void SetUp() override {
    WizardFixture::SetUp();
    shape = &ui::Application().Create<ui::TForm>();
    shape->SetName("Shape");
    shape->SetMinSize(200, 150);
    shape->SetBounds(433, 288, 538, 370);
    bottom = &Child<ui::TPanel>("Bottom", *shape);
    bottom->SetAlign(ui::TAlign::Bottom);
    bottom->SetHeight(49);
    fill = &Child<ui::TPanel>("Fill", *shape);
    fill->SetAlign(ui::TAlign::Client);
    stretch = &Child<ui::TEdit>("Stretch", *fill);
    stretch->SetBounds(10, 10, 200, 21);
    stretch->SetAnchors(ui::akLeft | ui::akTop | ui::akRight);
    unnamed = &Child<ui::TPanel>("", *shape);
    unnamed->SetBounds(5, 5, 50, 20);
    inner = &Child<ui::TPanel>("Inner", *unnamed);
    inner->SetBounds(1, 1, 10, 10);
  }
  void TearDown() override {
    ui::Application().FreeComponent(shape);
    WizardFixture::TearDown();
  }
  template <class T>
  T& Child(const char* name, ui::TControl& parent) {
    T& made = shape->Create<T>();
    if (*name) made.SetName(name);
    made.SetParent(&parent);
    return made;
  }
  std::string Stored(const std::string& key) { return Settings().GetVal(kSizeAndPos, key); }

  ui::TForm* shape = nullptr;
  ui::TPanel *bottom, *fill, *unnamed, *inner;
  ui::TEdit* stretch;
};

TEST_F(Geometry, SaveWritesTheFieldsThatApplyCountedByCommas) {
  shape->Show();
  Save(*shape, "Shape");
  EXPECT_EQ(Stored("Shape"), "370,538,288,433,0,");
  EXPECT_EQ(Stored("Shape.Bottom"), "49,,,,");
  EXPECT_EQ(Stored("Shape.Fill"), ",,,,");
  EXPECT_EQ(Stored("Shape.Fill.Stretch"), "21,,10,10,");  // anchored right: no width
  EXPECT_EQ(Stored("Shape.Inner"), "");                   // below an unnamed panel: skipped with it
  EXPECT_EQ(Settings().Ini().GetXMLText().find("Inner"), std::string::npos);
  // Written to disk at once.
  EXPECT_NE(test::ReadWhole(folder.Path() / "kelvarin.conf.xml").find("Stretch"), std::string::npos);
}

TEST_F(Geometry, RestoreSetsWhatAppliesAndKeepsTheRest) {
  Settings().SetVal(kSizeAndPos, "Shape", "300,600,100,120,0,");
  Settings().SetVal(kSizeAndPos, "Shape.Bottom", "60,999,7,7,");
  Settings().SetVal(kSizeAndPos, "Shape.Fill.Stretch", "25,500,12,300,");
  Settings().SetVal(kSizeAndPos, "Shape.Inner", "1,2,3,4,");
  Restore(*shape, "Shape");
  EXPECT_EQ(shape->Bounds(), (ui::TBounds{120, 100, 600, 300}));
  EXPECT_EQ(bottom->Height(), 60);
  EXPECT_EQ(stretch->Height(), 25);
  EXPECT_EQ(stretch->Top(), 12);
  EXPECT_NE(stretch->Left(), 300);  // width and left follow the parent
  EXPECT_NE(stretch->Width(), 500);
  EXPECT_EQ(inner->Bounds(), (ui::TBounds{1, 1, 10, 10}));
  // Empty fields keep their places; missing ones keep the values.
  Settings().SetVal(kSizeAndPos, "Shape", ",,50,,");
  Restore(*shape, "Shape");
  EXPECT_EQ(shape->Bounds(), (ui::TBounds{120, 50, 600, 300}));
}

TEST_F(Geometry, AMaximisedWindowComesBackMaximisedOverItsNormalBounds) {
  shape->Show();
  shape->SetWindowState(ui::TWindowState::Maximized);
  ui::test::Pump(100);
  shape->Hide();  // closed as the user left it
  Save(*shape, "Shape");
  EXPECT_EQ(Stored("Shape"), "370,538,288,433,2,");
  EXPECT_FALSE(shape->Visible());  // not shown again while saving
  EXPECT_EQ(shape->WindowState(), ui::TWindowState::Normal);  // put back before its bounds were read
  // Saved while shown maximised: put back to normal, the state kept.
  shape->SetWindowState(ui::TWindowState::Maximized);
  shape->Show();
  ui::test::Pump(100);
  ASSERT_TRUE(IsZoomed(shape->Handle()));
  Save(*shape, "Shape");
  EXPECT_EQ(Stored("Shape"), "370,538,288,433,2,");
  EXPECT_FALSE(IsZoomed(shape->Handle()));
  EXPECT_EQ(shape->WindowState(), ui::TWindowState::Normal);
  shape->Hide();
  shape->SetBounds(0, 0, 300, 200);
  Restore(*shape, "Shape");
  EXPECT_EQ(shape->WindowState(), ui::TWindowState::Maximized);
  EXPECT_EQ(shape->Bounds(), (ui::TBounds{433, 288, 538, 370}));
  shape->Show();
  ui::test::Pump(100);
  EXPECT_TRUE(IsZoomed(shape->Handle()));
  shape->SetWindowState(ui::TWindowState::Normal);
  ui::test::Pump(100);
  EXPECT_EQ(shape->Bounds(), (ui::TBounds{433, 288, 538, 370}));
}

// A stored child size that the parent cannot hold, or that leaves the page,
// the buttons or the step text with nothing to show, is ignored: Save would
// write it back at exit and it would stay for good. A size that leaves them
// all showing is taken as before.
TEST_F(Geometry, AChildSizeThatWouldHideAControlKeepsTheLayouts) {
  const char* const key = "MainForm.MainPanel.WorkPanel.Panel1";
  struct Case {
    const char* stored;
    int height;
  } const cases[] = {{"500,,,,", 49}, {"2147483647,,,,", 49}, {"-5,,,,", 49}, {"60,,,,", 60},
                     {"350,,,,", 49},  // fits the window, but covers the page and squeezes the buttons
                     {"300,,,,", 49},  // leaves the page no room
                     {"0,,,,", 49},    // hides its own buttons
                     {"8,,,,", 49}};   // the buttons sit below its edge
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    Settings().SetVal(kSizeAndPos, key, c.stored);
    MakeForm();
    ui::TControl& buttons = *form->NextButton->Parent();
    EXPECT_EQ(buttons.Height(), c.height);
    // The page and the three buttons lie inside the window's client area.
    RECT client;
    GetClientRect(form->Handle(), &client);
    MapWindowPoints(form->Handle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    for (ui::TControl* shown : std::initializer_list<ui::TControl*>{
             form->Frames[size_t(form->Step)], form->BackButton, form->NextButton, form->CancelButton,
             form->SteptextMemo}) {
      RECT r, common;
      GetWindowRect(shown->Handle(), &r);
      EXPECT_TRUE(IntersectRect(&common, &r, &client) && EqualRect(&common, &r)) << shown->Name();
      EXPECT_GT(shown->Height(), 0) << shown->Name();
    }
    Save(*form, form->Name());
    EXPECT_EQ(Stored(key), std::to_string(c.height) + ",,,,");
    FreeForm();
  }
  // Widths too, and a negative size.
  ui::TPanel& side = Child<ui::TPanel>("Side", *fill);
  side.SetAlign(ui::TAlign::Left);
  side.SetWidth(80);
  for (const char* stored : {",9999,,,", ",-1,,,"}) {
    Settings().SetVal(kSizeAndPos, "Shape.Fill.Side", stored);
    Restore(*shape, "Shape");
    EXPECT_EQ(side.Width(), 80) << stored;
  }
  Settings().SetVal(kSizeAndPos, "Shape.Fill.Side", ",120,,,");
  Restore(*shape, "Shape");
  EXPECT_EQ(side.Width(), 120);
}

// A stored child place that puts the child partly or wholly outside its
// parent is ignored, as sizes are; one inside it is taken.
TEST_F(Geometry, AChildPlaceOutsideItsParentKeepsTheLayouts) {
  const char* const key = "MainForm.MainPanel.WorkPanel.Panel1.NextButton";
  MakeForm();
  const int layoutTop = form->NextButton->Top();
  FreeForm();
  for (const auto& [stored, top] : {std::pair{"25,,500,,", layoutTop}, std::pair{"25,,-3,,", layoutTop},
                                    std::pair{"25,,5,,", 5}}) {
    SCOPED_TRACE(stored);
    Settings().SetVal(kSizeAndPos, key, stored);
    MakeForm();
    EXPECT_EQ(form->NextButton->Top(), top);
    EXPECT_LE(form->NextButton->Top() + form->NextButton->Height(), form->NextButton->Parent()->ClientHeight());
    Save(*form, form->Name());
    EXPECT_NE(Stored(key).find("," + std::to_string(top) + ","), std::string::npos) << Stored(key);
    FreeForm();
  }
  stretch->SetAnchors(ui::akLeft | ui::akTop);
  const int w = fill->ClientWidth() - 200, h = fill->ClientHeight() - 21;  // the last places inside
  for (const auto& [stored, left, top] :
       {std::tuple{"21,200,12," + std::to_string(w + 1) + ",", 10, 12},
        std::tuple{"21,200," + std::to_string(h + 1) + ",20,", 20, 10},
        std::tuple{"21,200," + std::to_string(h) + "," + std::to_string(w) + ",", w, h}}) {
    SCOPED_TRACE(stored);
    stretch->SetBounds(10, 10, 200, 21);
    Settings().SetVal(kSizeAndPos, "Shape.Fill.Stretch", stored);
    Restore(*shape, "Shape");
    EXPECT_EQ(stretch->Left(), left);
    EXPECT_EQ(stretch->Top(), top);
  }
}

// Garbage and a removed monitor still give a window the user can reach.
TEST_F(Geometry, StoredValuesOffScreenOrTooSmallAreMadeUsable) {
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  struct Case {
    const char* stored;
    ui::TBounds expected;
  } const cases[] = {
      {"370,538,-5000,-4000,0,", {int(work.left), int(work.top), 538, 370}},
      {"370,538,99999,99999,0,", {int(work.right) - 538, int(work.bottom) - 370, 538, 370}},
      {"10,20,100,100,0,", {100, 100, 200, 150}},  // raised to the minimum size
      {"x,y,z,w,q,", {433, 288, 538, 370}},        // nothing readable: the layout's
      {"370,538,100,100,7,", {100, 100, 538, 370}},
      // Partly off the work area (saved on a larger screen): moved wholly inside.
      {"370,538,-100,-200,0,", {int(work.left), int(work.top), 538, 370}},
      {"370,538,900,1000,0,", {int(work.right) - 538, int(work.bottom) - 370, 538, 370}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    shape->SetBounds(433, 288, 538, 370);
    Settings().SetVal(kSizeAndPos, "Shape", c.stored);
    Restore(*shape, "Shape");
    EXPECT_EQ(shape->Bounds(), c.expected);
    EXPECT_EQ(shape->WindowState(), ui::TWindowState::Normal);
  }
  // Huge sizes shrink to the work area.
  Settings().SetVal(kSizeAndPos, "Shape", "90000,90000,0,0,0,");
  Restore(*shape, "Shape");
  EXPECT_EQ(shape->Width(), work.right - work.left);
  EXPECT_EQ(shape->Height(), work.bottom - work.top);
}

}  // namespace
}  // namespace kv
