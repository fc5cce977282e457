// The WAV converter component: converts a WAV file into a WAV file of any format a recording can
// be made in, driven late-bound by dispatch id as the MP3 encoder is.
#pragma once

#include <string>

#include "encoder/conversion_ctrl.h"

class CWavConv final : public CConversionCtrl {
  public:
    explicit CWavConv(ComModule& module);

    // Its own automation members.
    const std::string& GetFormat() const { return m_format; }
    // E_INVALIDARG for a name that names no format; "" is the default.
    HRESULT SetFormat(const std::string& name);
    const std::string& GetOutputFormat() const { return m_output_format; }

    void DoPropExchange(CPropExchange* px) override;
    void OnResetState() override;

  protected:
    HRESULT InvokeOwn(DISPID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                      UINT* arg_error) override;
    mp3enc::SinkMaker MakeSink(const mp3enc::TextOverrides& texts) override;

  private:
    std::string m_format;
    std::string m_output_format;
};
