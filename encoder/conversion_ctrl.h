// What the encoder library's controls share: a conversion started by the start call that returns
// at once, run on a worker thread, stopped by the stop call, with its progress, end and failure
// fired as events on the GUI thread (delivered through the message loop, so the form stays
// responsive while it converts). The shared members sit at the same dispatch ids in every class;
// a derived class adds its own settings and says what the output is.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "encoder/conversion.h"
#include "encoder/mp3enc_ids.h"
#include "platform/com/olectl.h"

class CConversionCtrl : public COleControl {
  public:
    // Shared automation members.
    void Stop();
    // S_OK, or the failure that Failed also reports.
    HRESULT Start(const std::string& input, const std::string& output);
    LONG GetTotalFrames() const;
    double GetSpeed() const;
    HRESULT SetInfo(const std::string& id, const std::string& text);

    // A method's own failure, for InvokeMember to return.
    void set_call_result(HRESULT hr) { m_call_result = hr; }

  protected:
    CConversionCtrl(ComModule& module, const CoClassDesc& class_info);
    ~CConversionCtrl() override;
    // The shared members here, the others through InvokeOwn.
    HRESULT InvokeMember(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                         UINT* arg_error) final;
    virtual HRESULT InvokeOwn(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                              UINT* arg_error) = 0;
    // The output of the next conversion, at the current settings.
    virtual mp3enc::SinkMaker MakeSink(const mp3enc::TextOverrides& texts) = 0;

  private:
    // The link from the worker's notices to this object: posted tasks find it through here, and
    // find nothing once the object is gone.
    struct Mailbox {
        CConversionCtrl* owner = nullptr;  // GUI thread only
        std::atomic<bool> posted{false};
    };
    // On the GUI thread: fires what changed since the last notice.
    void deliver();
    void fire_failed(const mp3enc::ConversionFailure& failure);

    const InterfaceDesc& m_members;
    mp3enc::TextOverrides m_texts;
    std::shared_ptr<Mailbox> m_mailbox;
    std::unique_ptr<mp3enc::Conversion> m_conversion;
    std::uint64_t m_fired_frames = 0;
    bool m_ended = true;  // the running conversion's end has been fired (or none runs)
    HRESULT m_call_result = S_OK;
};
