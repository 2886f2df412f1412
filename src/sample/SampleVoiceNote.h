#pragma once

#include <string>

namespace vessamo::sample {

// The bytes of a real, tiny Ogg Opus voice note (one second of a tone), as
// WhatsApp stores voice notes; any opus decoder turns it into a wav file.
[[nodiscard]] std::string sampleVoiceNote();

}  // namespace vessamo::sample
