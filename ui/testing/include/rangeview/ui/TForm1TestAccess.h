#pragma once

#include "rangeview/ui/Unit1.h"

#include <memory>

namespace rv {

// Tests' and benchmarks' way into the window's controls and state, which the product keeps
// private: Parts(form).Label9 and so on, references to the window's own members.
struct TForm1TestAccess {
    explicit TForm1TestAccess(TForm1& form)
        : ComboBox1(form.ComboBox1), ComboBox2(form.ComboBox2), BitBtn1(form.BitBtn1),
          Panel1(form.Panel1), Button1(form.Button1), ComboBox3(form.ComboBox3),
          Button2(form.Button2), Memo1(form.Memo1), Button3(form.Button3),
          ComboBox4(form.ComboBox4), Button4(form.Button4), Button5(form.Button5),
          Chart1(form.Chart1), BitBtn2(form.BitBtn2), Edit1(form.Edit1), Edit2(form.Edit2),
          BitBtn3(form.BitBtn3), BitBtn4(form.BitBtn4), Label1(form.Label1), Label2(form.Label2),
          Label14(form.Label14), Label5(form.Label5), Label6(form.Label6), Label9(form.Label9),
          Label8(form.Label8), Label10(form.Label10), Label7(form.Label7), Label4(form.Label4),
          Label3(form.Label3), Label11(form.Label11), Label12(form.Label12), Label13(form.Label13),
          StatusBar1(form.StatusBar1), Timer1(form.Timer1), RxCount(form.RxCount),
          SampleIndex(form.SampleIndex), LastMode(form.LastMode), Decoder(form.Decoder),
          Tracker(form.Tracker), LogText(form.LogText), Hooks(form.Hooks)
    {
    }

    QComboBox*& ComboBox1;
    QComboBox*& ComboBox2;
    QPushButton*& BitBtn1;
    QFrame*& Panel1;
    QPushButton*& Button1;
    QComboBox*& ComboBox3;
    QPushButton*& Button2;
    TLogMemo*& Memo1;
    QPushButton*& Button3;
    QComboBox*& ComboBox4;
    QPushButton*& Button4;
    QPushButton*& Button5;
    ChartControl*& Chart1;
    QPushButton*& BitBtn2;
    QLineEdit*& Edit1;
    QLineEdit*& Edit2;
    QPushButton*& BitBtn3;
    QPushButton*& BitBtn4;
    QLabel*& Label1;
    QLabel*& Label2;
    QLabel*& Label14;
    QLabel*& Label5;
    QLabel*& Label6;
    QLabel*& Label9;
    QLabel*& Label8;
    QLabel*& Label10;
    QLabel*& Label7;
    QLabel*& Label4;
    QLabel*& Label3;
    QLabel*& Label11;
    QLabel*& Label12;
    QLabel*& Label13;
    QStatusBar*& StatusBar1;
    QTimer*& Timer1;
    std::int32_t& RxCount;
    std::int64_t& SampleIndex;
    std::uint8_t& LastMode;
    FrameDecoder& Decoder;
    WaveformTracker& Tracker;
    QString& LogText;
    SerialLinkHooks& Hooks;
};

inline TForm1TestAccess Parts(TForm1& form)
{
    return TForm1TestAccess(form);
}
inline TForm1TestAccess Parts(TForm1* form)
{
    return TForm1TestAccess(*form);
}
inline TForm1TestAccess Parts(const std::unique_ptr<TForm1>& form)
{
    return TForm1TestAccess(*form);
}

} // namespace rv
