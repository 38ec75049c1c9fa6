#pragma once

// The maker of the recorders and of this program, as the program names it to the user:
// its update server, support address and web site all live under one internet domain.
namespace Maker {

inline constexpr char Name[] = "Marbeck";
inline constexpr char Domain[] = "marbeck.com";

} // namespace Maker
