// The MP3 encoder component: a control that a form places (invisible at run time) and drives
// late-bound by dispatch id. Start returns at once; the conversion runs on a worker thread and
// its progress, end and failure reach the container as events on the GUI thread, delivered
// through the message loop, so the form stays responsive while it converts.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encoder/conversion.h"
#include "encoder/mp3enc_ids.h"
#include "platform/com/olectl.h"

class CMp3Enc final : public COleControl {
  public:
    explicit CMp3Enc(ComModule& module);

    // Automation members, in dispatch id order.
    LONG GetBitrate() const { return m_bitrate; }
    void SetBitrate(LONG bits_per_second);
    bool GetVariableBitrate() const { return m_variable_bitrate; }
    void SetVariableBitrate(bool on);
    bool GetCopyTags() const { return m_copy_tags; }
    void SetCopyTags(bool on);
    void Stop();
    // S_OK, or the failure that Failed also reports.
    HRESULT Start(const std::string& input, const std::string& output);
    LONG GetTotalFrames() const;
    double GetSpeed() const;
    HRESULT SetInfo(const std::string& id, const std::string& text);

    void DoPropExchange(CPropExchange* px) override;
    void OnResetState() override;

    // A method's own failure, for InvokeMember to return.
    void set_call_result(HRESULT hr) { m_call_result = hr; }

  protected:
    ~CMp3Enc() override;
    HRESULT InvokeMember(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                         UINT* arg_error) override;

  private:
    // The link from the worker's notices to this object: posted tasks find it through here, and
    // find nothing once the object is gone.
    struct Mailbox {
        CMp3Enc* owner = nullptr;  // GUI thread only
        std::atomic<bool> posted{false};
    };
    // On the GUI thread: fires what changed since the last notice.
    void deliver();
    void fire_failed(const mp3enc::ConversionFailure& failure);

    LONG m_bitrate = mp3enc::kDefaultBitrate;
    bool m_variable_bitrate = false;
    bool m_copy_tags = true;
    std::vector<std::pair<int, std::string>> m_slot_texts;
    std::optional<std::string> m_display_name;
    std::shared_ptr<Mailbox> m_mailbox;
    std::unique_ptr<mp3enc::Conversion> m_conversion;
    std::uint64_t m_fired_frames = 0;
    bool m_ended = true;  // the running conversion's end has been fired (or none runs)
    HRESULT m_call_result = S_OK;
};
