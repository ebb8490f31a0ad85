#include "state/place_history.h"

namespace {

bool step(std::vector<Location>& from, std::vector<Location>& to, const Location& here, Location& place) {
    if (from.empty()) return false;
    place = from.back();
    from.pop_back();
    to.push_back(here);
    if (to.size() > HISTORY_STEPS) to.erase(to.begin());
    return true;
}

}  // namespace

void rememberPlace(PlaceHistory& history, const Location& here) {
    history.back.push_back(here);
    if (history.back.size() > HISTORY_STEPS) history.back.erase(history.back.begin());
    history.forward.clear();
}

bool stepBack(PlaceHistory& history, const Location& here, Location& to) {
    return step(history.back, history.forward, here, to);
}

bool stepForward(PlaceHistory& history, const Location& here, Location& to) {
    return step(history.forward, history.back, here, to);
}
