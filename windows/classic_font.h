// The windows are laid out for "MS Sans Serif" at 8 points. Where that font is
// missing, the nearest narrow sans serif stands in for it, so that captions
// fit the fixed geometry.
#pragma once

// Registers the stand-ins; the first window calls it before building itself.
void RegisterClassicFontSubstitutes();
