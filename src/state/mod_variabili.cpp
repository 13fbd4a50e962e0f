#include "state/mod_variabili.h"

namespace lcdprog {

ImageSlots& ProgramState::Panel_Slots(int panel) {
    return const_cast<ImageSlots&>(static_cast<const ProgramState&>(*this).Panel_Slots(panel));
}

const ImageSlots& ProgramState::Panel_Slots(int panel) const {
    switch (panel) {
        case 0:
            return Images_64128A;
        case 1:
            return Images_64128E;
        case 2:
            return Images_64240B;
        default:
            return Images_128240A;
    }
}

}  // namespace lcdprog
