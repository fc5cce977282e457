// The MP3 encoder component: a control that a form places (invisible at run time) and drives
// late-bound by dispatch id to convert a WAV file into an MP3 file.
#pragma once

#include "encoder/conversion_ctrl.h"

class CMp3Enc final : public CConversionCtrl {
  public:
    explicit CMp3Enc(ComModule& module);

    // Its own automation members.
    LONG GetBitrate() const { return m_bitrate; }
    void SetBitrate(LONG bits_per_second);
    bool GetVariableBitrate() const { return m_variable_bitrate; }
    void SetVariableBitrate(bool on);
    bool GetCopyTags() const { return m_copy_tags; }
    void SetCopyTags(bool on);

    void DoPropExchange(CPropExchange* px) override;
    void OnResetState() override;

  protected:
    HRESULT InvokeOwn(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                      UINT* arg_error) override;
    mp3enc::SinkMaker MakeSink(const mp3enc::TextOverrides& texts) override;

  private:
    LONG m_bitrate = mp3enc::kDefaultBitrate;
    bool m_variable_bitrate = false;
    bool m_copy_tags = true;
};
