#pragma once
// The picture button's visual state, kept apart from the window code so the
// transitions can be tested natively.

namespace halvora::ui {

enum class ButtonState { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };
constexpr int kButtonStateCount = 4;

// The item state bits of a draw request that matter here.
struct DrawItemBits {
  bool focus = false;
  bool selected = false;
  bool disabled = false;
};

// A draw request without focus shows the normal picture; with focus it shows
// pressed while selected and hover while the pointer is over the button, and
// otherwise keeps the state it had. Disabled wins over everything.
inline ButtonState StateForDrawItem(ButtonState current, DrawItemBits bits, bool hovered) {
  ButtonState next = current;
  if (!bits.focus) {
    next = ButtonState::kNormal;
  } else if (bits.selected || hovered) {
    next = bits.selected ? ButtonState::kPressed : ButtonState::kHover;
  }
  if (bits.disabled) next = ButtonState::kDisabled;
  return next;
}

}  // namespace halvora::ui
