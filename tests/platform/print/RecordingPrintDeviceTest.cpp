#include "platform/print/RecordingPrintDevice.h"

#include <gtest/gtest.h>

#include <stdexcept>

using print::EPrintError;
using print::FontSpec;
using Device = print::RecordingPrintDevice;
using Op = Device::Op;

TEST(RecordingPrintDevice, PagesAndDocumentsCountOnlyWhenSomethingWasDrawn)
{
    Device device(300, 300);
    device.BeginDoc();
    device.NewPage();  // nothing drawn yet: no page
    device.TextOut(1, 2, "a", {"Arial", 8, 0});
    device.NewPage();
    device.NewPage();  // an empty page in between is not ejected
    device.StretchDraw(5, 6, 7, 8, QImage(2, 2, QImage::Format_Grayscale8));
    device.EndDoc();
    device.BeginDoc();
    device.EndDoc();  // an empty job prints nothing

    EXPECT_EQ(device.PagesPrinted(), 2);
    EXPECT_EQ(device.DocumentsPrinted(), 1);
    const auto images = device.CallsOf(Op::StretchDraw);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].x, 5);
    EXPECT_EQ(images[0].height, 8);
    EXPECT_EQ(images[0].image.width(), 2);
}

TEST(RecordingPrintDevice, DrawingOutsideADocumentIsRefused)
{
    Device device(600, 600);
    EXPECT_THROW(device.TextOut(0, 0, "x", {}), EPrintError);
    EXPECT_THROW(device.EndDoc(), EPrintError);
    EXPECT_THROW(device.NewPage(), EPrintError);
    device.BeginDoc();
    EXPECT_THROW(device.BeginDoc(), EPrintError);
    EXPECT_TRUE(device.Calls().size() == 1 && device.Calls()[0].op == Op::BeginDoc);
}

TEST(DocumentGuard, EndsTheDocumentWhenAnExceptionPasses)
{
    Device device(300, 300);
    try {
        device.BeginDoc();
        print::DocumentGuard guard(device);
        device.TextOut(0, 0, "x", {});
        throw std::runtime_error("boom");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "boom");
    }
    EXPECT_FALSE(device.Printing());
    EXPECT_EQ(device.DocumentsPrinted(), 1);
}

TEST(DocumentGuard, AFailingEndDuringUnwindingDoesNotReplaceTheFirstError)
{
    Device device(300, 300);
    device.FailAt(Op::EndDoc);
    try {
        device.BeginDoc();
        print::DocumentGuard guard(device);
        throw std::runtime_error("first");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "first");
    }
}

TEST(DocumentGuard, CloseReportsAFailingEndAndDoesNotEndTwice)
{
    Device device(300, 300);
    device.BeginDoc();
    {
        print::DocumentGuard guard(device);
        device.FailAt(Op::EndDoc);
        EXPECT_THROW(guard.Close(), EPrintError);
    }
    EXPECT_FALSE(device.Printing());
    EXPECT_TRUE(device.CallsOf(Op::EndDoc).empty());

    device.BeginDoc();
    {
        print::DocumentGuard guard(device);
        guard.Close();
    }
    EXPECT_EQ(device.CallsOf(Op::EndDoc).size(), 1u);
}

TEST(ProcessPrinter, IsAnErrorUntilOneIsSet)
{
    print::SetPrinter(nullptr);
    EXPECT_FALSE(print::HasPrinter());
    EXPECT_THROW(print::Printer(), EPrintError);
    print::SetPrinter(std::make_unique<Device>(203, 203));
    EXPECT_EQ(print::Printer().DpiX(), 203);
    print::SetPrinter(nullptr);
}

// Without fonts the recording device's ink is plain arithmetic tests can
// reckon with: the cells from the first to the last character that is not a
// blank, one pixel in from each side (or each character's cell so), turned
// with the text; on the paper it moves with the printable offset as the
// text's cell does.
TEST(RecordingPrintDevice, InkIsTheCellsOfTheMarkedCharactersOnePixelIn)
{
    Device device(300, 300, 7, 9);
    device.SetCharWidth(10);
    const FontSpec upright{"OCR A Extended", 10, 0};  // 42 pixels high
    EXPECT_EQ(device.TextInk(" AB ", upright), (print::PixelBox{11, 1, 29, 41}));
    EXPECT_EQ(device.TextInk(" AB ", {"OCR A Extended", 10, 1800}), (print::PixelBox{-29, -41, -11, -1}));
    EXPECT_EQ(device.TextInk(" AB ", {"OCR A Extended", 10, 2700}), (print::PixelBox{-41, 11, -1, 29}));
    EXPECT_EQ(device.TextInk(" AB ", {"OCR A Extended", 10, 900}), (print::PixelBox{1, -29, 41, -11}));
    EXPECT_EQ(device.TextInk("Ä", upright), (print::PixelBox{1, 1, 9, 41}));  // one character, two bytes
    EXPECT_TRUE(device.TextInk("   ", upright).Empty());
    EXPECT_TRUE(device.TextInk("", upright).Empty());
    // Character by character, a blank has none.
    EXPECT_EQ(device.CharacterInk(" A\u00c4 ", {"OCR A Extended", 10, 2700}),
              (std::vector<print::PixelBox>{{}, {-41, 11, -1, 19}, {-41, 21, -1, 29}, {}}));

    device.BeginDoc();
    device.TextOut(100, 200, " AB ", {"OCR A Extended", 10, 2700});
    const auto text = device.CallsOf(Op::TextOut).at(0);
    EXPECT_EQ(device.TextBox(text), (print::PixelBox{107 - 42, 209, 107, 209 + 40}));
    EXPECT_EQ(device.InkBox(text), (print::PixelBox{107 - 41, 209 + 11, 107 - 1, 209 + 29}));
}

TEST(PixelBox, InkTouchesWhenNoBlankPixelLiesBetween)
{
    const print::PixelBox box{10, 10, 20, 20};  // pixels 10 to 19
    EXPECT_TRUE(box.Touches({19, 19, 30, 30}));
    EXPECT_TRUE(box.Touches({20, 5, 30, 15}));   // beside it
    EXPECT_TRUE(box.Touches({20, 20, 30, 30}));  // corner to corner
    EXPECT_FALSE(box.Touches({21, 5, 30, 15}));  // column 20 blank between
    EXPECT_FALSE(box.Touches({0, 0, 9, 30}));
    EXPECT_FALSE(box.Touches({12, 12, 12, 18}));  // empty
    EXPECT_TRUE(box.Inside({10, 10, 20, 20}));
    EXPECT_FALSE(box.Inside({10, 10, 19, 20}));
}
