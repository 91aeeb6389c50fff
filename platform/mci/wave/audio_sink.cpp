#include "platform/mci/wave/audio_sink.h"

namespace mci::wave {

namespace {

class SdlSink final : public Sink {
public:
    explicit SdlSink(std::unique_ptr<audio::Output> out) : out_(std::move(out)) {}
    void start() override { out_->start(); }
    void pause() override
    {
        out_->pause();
        // Waits out a callback that was already running when the pause came.
        audio::Output::Lock wait(*out_);
    }

private:
    std::unique_ptr<audio::Output> out_;
};

} // namespace

SinkOpener sdlSinkOpener(const std::string& soundOutput)
{
    return [soundOutput](const audio::Format& format, audio::RenderFn render, std::string& error,
               const audio::StreamLabel& label) -> std::unique_ptr<Sink> {
        auto out = audio::Output::open(format, std::move(render), soundOutput, error, label);
        if (!out)
            return nullptr;
        return std::make_unique<SdlSink>(std::move(out));
    };
}

} // namespace mci::wave
