// libsndfile, loaded when the first wave file is opened: it brings the FLAC,
// Ogg, Opus and MPEG codecs along.
#include "platform/base/lazy_library.h"

#include <sndfile.h>

static constinit lazy_library::Library sndfile("libsndfile.so.1");

#define FORWARD(failure, ret, name, params, args) QUORVANA_FORWARD(sndfile, failure, ret, name, params, args)

FORWARD(nullptr, SNDFILE*, sf_open_virtual, (SF_VIRTUAL_IO * io, int mode, SF_INFO* info, void* user_data),
        (io, mode, info, user_data))
FORWARD(sndfile.openFailure(), const char*, sf_strerror, (SNDFILE * f), (f))
FORWARD(-1, sf_count_t, sf_seek, (SNDFILE * f, sf_count_t frames, int whence), (f, frames, whence))
FORWARD(0, sf_count_t, sf_readf_float, (SNDFILE * f, float* ptr, sf_count_t frames), (f, ptr, frames))
FORWARD(0, int, sf_close, (SNDFILE * f), (f))
