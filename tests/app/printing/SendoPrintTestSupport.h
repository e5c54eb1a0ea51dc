#pragma once
// Helpers of the form printer tests: a sample mailer, a recording printer
// installed as the process printer, and lookups in what it recorded.

#include "tests/app/barcode/BarcodeTestSupport.h"
#include "app/printing/U_SendoPrint.h"
#include "platform/print/RecordingPrintDevice.h"

#include <QFont>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace sendoprinttest {

using Device = print::RecordingPrintDevice;
using Op = Device::Op;
using Call = Device::Call;

// Recipient ZIP 12345, customer 123456789, serial 0000001: the worked example
// of the article number, whose "T" data and display form are below.
inline MailerPrintFields SampleMailer()
{
    MailerPrintFields rec;
    rec[0] = "Sendora Office";
    rec[1] = "12 Main St";
    rec[2] = "Suite 5";
    rec[3] = "";
    rec[4] = "Springfield IL 62701";
    rec[5] = "62701";
    rec[6] = "Jane Roe";
    rec[7] = "400 Elm Ave";
    rec[8] = "Apt 2";
    rec[9] = "";
    rec[10] = "Dover DE 12345";
    rec[11] = "12345";
    rec[12] = "Case 42";
    rec[13] = "Final notice";
    rec[14] = "N";
    rec[15] = "123456789";
    rec[16] = "0000001";
    rec[17] = "      2.40";
    rec[18] = "      4.15";
    rec[19] = "      3.35";
    rec[20] = "      0.00";
    rec[21] = "      9.90";
    rec[22] = "0";
    rec[23] = "0";
    rec[24] = "No";
    rec[25] = "Addressed To";
    rec[26] = "-1";
    rec[27] = "Clerk";
    rec[28] = "N";
    rec[29] = "";
    return rec;
}

inline const std::string kDataT = "420123459214712345678900000015";
inline const std::string kDataF = "420627019290912345678900000019";
inline const std::string kTextT = "9214 7123 4567 8900 0000 15";
inline const std::string kTextF = "9290 9123 4567 8900 0000 19";

// What zbarimg reads from GS1-128 article data: the FNC1 after the ZIP is a GS.
inline std::string Scanned(const std::string& data)
{
    return data.substr(0, 8) + '\x1d' + data.substr(8);
}

inline QFont CallerFont()
{
    return QFont(QStringLiteral("Arial"));
}

// Installs a recording printer as the process printer for one test.
class RecordingPrinterTest : public ::testing::Test {
protected:
    Device& InstallPrinter(int dpiX, int dpiY, int offX = 0, int offY = 0)
    {
        barcodetest::EnsureApplication();
        auto device = std::make_unique<Device>(dpiX, dpiY, offX, offY);
        device_ = device.get();
        print::SetPrinter(std::move(device));
        gLabelRow = 0;
        gLabelCol = 0;
        SetLastZip("");
        return *device_;
    }
    void TearDown() override { print::SetPrinter(nullptr); }

    Device& Printer() { return *device_; }

    // Texts drawn, in order, with their positions.
    std::vector<Call> Texts() const { return device_->CallsOf(Op::TextOut); }
    std::vector<Call> Images() const { return device_->CallsOf(Op::StretchDraw); }
    Call Text(const std::string& text) const
    {
        const auto call = device_->FindText(text);
        EXPECT_TRUE(call) << "no text \"" << text << "\"";
        return call ? *call : Call(Op::TextOut, -99999, -99999);
    }

private:
    Device* device_ = nullptr;
};

}  // namespace sendoprinttest
