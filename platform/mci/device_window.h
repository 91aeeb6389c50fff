#pragma once
// A window that a media device shows of its own accord carries this property.
// It is none of the program's forms: turning to it and back, or closing it,
// is not the user turning to another form of the program.
namespace mci {

inline constexpr char kDeviceWindowProperty[] = "mciDeviceWindow";

} // namespace mci
