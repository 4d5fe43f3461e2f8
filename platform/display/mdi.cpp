// The MDI client and its child frames: activation inside the client, the maximised
// child merged into the frame, minimised children as icons along the bottom, and the
// cascade, tile and icon arrangements.
#include "platform/display/mdi.h"

#include <algorithm>
#include <cmath>

#include "platform/display/window_manager.h"
#include "platform/system_error.h"

namespace sk::platform::display {

using namespace detail;

namespace {

constexpr int kCascadeStep = 22;  // a caption and a sizing frame
constexpr int kIconWidth = 160;

WindowRec* client_rec(WindowId client) {
    WindowRec* r = find(client);
    if (!r || !r->is_mdi_client) {
        set_last_system_error(kErrInvalidHandle);
        return nullptr;
    }
    return r;
}

void post_activate(WindowRec& w, bool active, WindowId other) {
    Message m;
    m.code = kMsgActivate;
    m.wparam = active ? 1 : 0;
    m.lparam = other;
    m.time = now_ms();
    post_to_window(w, m);
}

void repaint_frame_of(WindowRec& client) {
    if (WindowRec* frame = find(client.parent)) {
        Rect old = client_in_window(*frame);
        relayout_menu_bar(*frame);
        nonclient_changed(*frame, old);
    }
}

// True when w is ancestor or lies inside it.
bool lies_within(const WindowRec* w, const WindowRec& ancestor) {
    for (; w; w = w->kind == WindowKind::kChild ? find(w->parent) : nullptr) {
        if (w == &ancestor) return true;
    }
    return false;
}

bool can_take_focus(const WindowRec& w) {
    return w.kind == WindowKind::kChild && !(w.style & kStyleNoFocus) && shown(w) && enabled_chain(w);
}

// The first window inside w, depth first in creation order, that can take the focus.
WindowRec* first_focusable_inside(const WindowRec& w, int depth = 0) {
    if (depth > 64) return nullptr;
    for (WindowId id : w.children) {
        WindowRec* c = find(id);
        if (!c) continue;
        if (can_take_focus(*c)) return c;
        if (WindowRec* inner = first_focusable_inside(*c, depth + 1)) return inner;
    }
    return nullptr;
}

// Moves the focus into a newly active child: to the control that last had it there,
// else to its first control that can take it, else to the child itself. A minimised
// child shows no controls and keeps the focus on itself.
void focus_into_child(WindowRec& child) {
    if (!enabled_chain(child)) return;
    WindowRec* target = nullptr;
    if (child.size_state != kSizeMinimized) {
        WindowRec* last = find(child.last_focus);
        if (last && last != &child && lies_within(last, child) && can_take_focus(*last)) target = last;
        else target = first_focusable_inside(child);
    }
    focus_locked(target ? target->handle : child.handle);
}

// Makes child the client's active child; the previous one is told, and a maximised
// previous child hands its maximised state on.
void activate_child(WindowRec& client, WindowRec& child) {
    WindowId prev_id = client.mdi_order.empty() ? 0 : client.mdi_order.front();
    bring_to_top_locked(child);
    if (prev_id == child.handle) return;
    std::erase(client.mdi_order, child.handle);
    client.mdi_order.insert(client.mdi_order.begin(), child.handle);
    WindowRec* prev = find(prev_id);
    bool was_maximized = prev && prev->size_state == kSizeMaximized;
    if (prev) {
        post_activate(*prev, false, child.handle);
        paint_frame(*prev);
        damage_window(*prev);
    }
    post_activate(child, true, prev_id);
    if (was_maximized && child.size_state != kSizeMaximized) {
        set_size_state_locked(prev, kSizeRestored);
        set_size_state_locked(&child, kSizeMaximized);
    }
    paint_frame(child);
    damage_window(child);
    repaint_frame_of(client);
    // The focus moves into the newly active child unless it is there already.
    if (!lies_within(find(state().focus), child)) focus_into_child(child);
}

std::vector<WindowRec*> children_where(WindowRec& client, bool minimized) {
    std::vector<WindowRec*> out;
    for (WindowId id : client.mdi_order) {
        WindowRec* c = find(id);
        if (c && c->visible && (c->size_state == kSizeMinimized) == minimized) out.push_back(c);
    }
    return out;
}

int icon_height(const WindowRec& child) {
    return std::max(child.rect.height(), 21);
}

// The client's area above the row of icons.
Rect arrange_area(WindowRec& client) {
    Rect c = client_in_window(client);
    Rect area{0, 0, c.width(), c.height()};
    std::vector<WindowRec*> icons = children_where(client, true);
    if (!icons.empty()) area.bottom = std::max(area.top + 1, area.bottom - icon_height(*icons.front()));
    return area;
}

void restore_maximized(WindowRec& client) {
    for (WindowId id : client.mdi_order) {
        WindowRec* c = find(id);
        if (c && c->size_state == kSizeMaximized) set_size_state_locked(c, kSizeRestored);
    }
}

}  // namespace

namespace detail {

WindowRec* enclosing_mdi_child(WindowRec* w) {
    for (; w && w->kind == WindowKind::kChild; w = find(w->parent)) {
        if (mdi_client_rec_of(*w)) return w;
    }
    return nullptr;
}

WindowRec* mdi_client_rec_of(const WindowRec& child) {
    if (child.kind != WindowKind::kChild) return nullptr;
    WindowRec* p = find(child.parent);
    return p && p->is_mdi_client ? p : nullptr;
}

WindowRec* maximized_mdi_child(const WindowRec& frame) {
    if (frame.kind == WindowKind::kChild) return nullptr;
    WindowRec* client = find(frame.mdi_client);
    if (!client || client->mdi_order.empty()) return nullptr;
    WindowRec* child = find(client->mdi_order.front());
    return child && child->visible && child->size_state == kSizeMaximized ? child : nullptr;
}

bool mdi_child_active(const WindowRec& child) {
    WindowRec* client = mdi_client_rec_of(child);
    if (!client) return state().active == child.handle;
    WindowRec* top = top_level_rec(client);
    return !client->mdi_order.empty() && client->mdi_order.front() == child.handle && top && state().active == top->handle;
}

std::string caption_text_locked(const WindowRec& w) {
    if (WindowRec* child = maximized_mdi_child(w); child && !child->text.empty()) {
        return w.text + " - [" + child->text + "]";
    }
    return w.text;
}

void mdi_child_created(WindowRec& w) {
    WindowRec* client = mdi_client_rec_of(w);
    if (!client) return;
    client->mdi_order.push_back(w.handle);
    if (w.visible) activate_child(*client, w);
}

void mdi_child_visibility(WindowRec& child, bool visible) {
    WindowRec* client = mdi_client_rec_of(child);
    if (!client) return;
    bool front = !client->mdi_order.empty() && client->mdi_order.front() == child.handle;
    if (visible) {
        // A child shown becomes the active one, as a child opened visible does.
        if (front) std::erase(client->mdi_order, child.handle);  // so that activation tells it
        activate_child(*client, child);
        return;
    }
    if (!front) return;
    for (WindowId id : client->mdi_order) {
        WindowRec* next = find(id);
        if (next && next != &child && next->visible) {
            activate_child(*client, *next);
            return;
        }
    }
}

void mdi_child_pressed(WindowRec& child) {
    WindowRec* client = mdi_client_rec_of(child);
    if (client && (client->mdi_order.empty() || client->mdi_order.front() != child.handle)) activate_child(*client, child);
}

void mdi_forget(WindowRec& w) {
    if (w.is_mdi_client) {
        if (WindowRec* frame = find(w.parent); frame && frame->mdi_client == w.handle) frame->mdi_client = 0;
        return;
    }
    WindowRec* client = mdi_client_rec_of(w);
    if (!client) return;
    bool was_active = !client->mdi_order.empty() && client->mdi_order.front() == w.handle;
    bool was_maximized = w.size_state == kSizeMaximized;
    bool had_focus = lies_within(find(state().focus), w);
    std::erase(client->mdi_order, w.handle);
    if (was_active) {
        for (WindowId id : client->mdi_order) {
            WindowRec* next = find(id);
            if (!next || !next->visible) continue;
            // Move it to the front by hand: activate_child would treat it as active already.
            std::erase(client->mdi_order, id);
            client->mdi_order.insert(client->mdi_order.begin(), id);
            post_activate(*next, true, w.handle);
            if (was_maximized) set_size_state_locked(next, kSizeMaximized);
            bring_to_top_locked(*next);
            paint_frame(*next);
            damage_window(*next);
            // The focus the closing child held goes on to the next one's controls rather
            // than falling back to the client.
            if (had_focus) focus_into_child(*next);
            break;
        }
    }
    // Taken out of the client already, so the frame no longer merges it.
    WindowRec* frame = find(client->parent);
    if (frame) {
        Rect old = client_in_window(*frame);
        relayout_menu_bar(*frame);
        nonclient_changed(*frame, old);
    }
}

void place_minimized_mdi_child(WindowRec& child) {
    WindowRec* client = mdi_client_rec_of(child);
    if (!client) return;
    Rect c = client_in_window(*client);
    int h = icon_height(child);
    int per_row = std::max(1, c.width() / kIconWidth);
    for (int slot = 0; slot < 1000; ++slot) {
        int x = (slot % per_row) * kIconWidth;
        int y = c.height() - h * (1 + slot / per_row);
        bool taken = false;
        for (WindowId id : client->mdi_order) {
            WindowRec* o = find(id);
            if (o && o != &child && o->size_state == kSizeMinimized && o->rect.left == x && o->rect.top == y) taken = true;
        }
        if (!taken) {
            move_locked(child, Rect::from_size(x, y, child.rect.width(), child.rect.height()));
            return;
        }
    }
}

void mdi_size_state_changed(WindowRec& w) {
    if (WindowRec* client = mdi_client_rec_of(w)) repaint_frame_of(*client);
}

}  // namespace detail

WindowId create_mdi_client(WindowId frame) {
    auto& st = state();
    Lock lock(st.mutex);
    WindowRec* f = find(frame);
    if (!f) {
        set_last_system_error(kErrInvalidHandle);
        return 0;
    }
    if (f->kind != WindowKind::kTopLevel || find(f->mdi_client)) {
        set_last_system_error(kErrInvalidParameter);
        return 0;
    }
    Rect c = client_in_window(*f);
    WindowSpec spec;
    spec.kind = WindowKind::kChild;
    spec.parent = frame;
    spec.rect = Rect{0, 0, c.width(), c.height()};
    spec.style = kStyleClientEdge | kStyleNoFocus;
    spec.visible = true;
    spec.background = system_color(SystemColor::kAppWorkspace);
    WindowRec* w = create_window_locked(spec, f->thread);
    adopt_current_thread();
    w->is_mdi_client = true;
    w->invalid = Rect{};
    f = find(frame);
    f->mdi_client = w->handle;
    return w->handle;
}

WindowId mdi_client_of(WindowId frame) {
    Lock lock(state().mutex);
    WindowRec* f = find(frame);
    if (!f) {
        set_last_system_error(kErrInvalidHandle);
        return 0;
    }
    return find(f->mdi_client) ? f->mdi_client : 0;
}

bool is_mdi_client(WindowId window) {
    Lock lock(state().mutex);
    WindowRec* w = find(window);
    return w && w->is_mdi_client;
}

std::vector<WindowId> mdi_children(WindowId client) {
    Lock lock(state().mutex);
    WindowRec* c = client_rec(client);
    return c ? c->mdi_order : std::vector<WindowId>{};
}

WindowId mdi_active_child(WindowId client) {
    Lock lock(state().mutex);
    WindowRec* c = client_rec(client);
    if (!c) return 0;
    for (WindowId id : c->mdi_order) {
        WindowRec* w = find(id);
        if (w && w->visible) return id;
    }
    return 0;
}

bool mdi_activate(WindowId child) {
    Lock lock(state().mutex);
    WindowRec* w = find(child);
    WindowRec* client = w ? mdi_client_rec_of(*w) : nullptr;
    if (!client) {
        set_last_system_error(w ? kErrInvalidParameter : kErrInvalidHandle);
        return false;
    }
    activate_child(*client, *w);
    return true;
}

bool mdi_cascade(WindowId client) {
    Lock lock(state().mutex);
    WindowRec* c = client_rec(client);
    if (!c) return false;
    restore_maximized(*c);
    std::vector<WindowRec*> kids = children_where(*c, false);
    if (kids.empty()) return true;
    Rect area = arrange_area(*c);
    int n = static_cast<int>(kids.size());
    int w = std::max(area.width() - kCascadeStep * (n - 1), area.width() * 2 / 3);
    int h = std::max(area.height() - kCascadeStep * (n - 1), area.height() * 2 / 3);
    int fit = std::max(1, std::min((area.width() - w) / kCascadeStep, (area.height() - h) / kCascadeStep) + 1);
    // Least recently active first, so that the active child ends on top, furthest in.
    for (int i = 0; i < n; ++i) {
        WindowRec* k = kids[static_cast<std::size_t>(n - 1 - i)];
        int off = (i % fit) * kCascadeStep;
        move_locked(*k, Rect::from_size(area.left + off, area.top + off, w, h));
        bring_to_top_locked(*k);
    }
    return true;
}

bool mdi_tile(WindowId client, bool horizontal) {
    Lock lock(state().mutex);
    WindowRec* c = client_rec(client);
    if (!c) return false;
    restore_maximized(*c);
    std::vector<WindowRec*> kids = children_where(*c, false);
    if (kids.empty()) return true;
    Rect area = arrange_area(*c);
    int n = static_cast<int>(kids.size());
    // Groups: columns for a vertical tile, rows for a horizontal one; the later groups
    // take the windows that do not divide evenly.
    int groups = n <= 3 ? n : static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    int base = n / groups, extra = n % groups;
    int index = 0;
    int along = horizontal ? area.height() : area.width();
    int across = horizontal ? area.width() : area.height();
    for (int g = 0; g < groups; ++g) {
        int in_group = base + (g >= groups - extra ? 1 : 0);
        int g0 = along * g / groups, g1 = along * (g + 1) / groups;
        for (int k = 0; k < in_group && index < n; ++k, ++index) {
            int k0 = across * k / in_group, k1 = across * (k + 1) / in_group;
            Rect r = horizontal ? Rect{area.left + k0, area.top + g0, area.left + k1, area.top + g1}
                                : Rect{area.left + g0, area.top + k0, area.left + g1, area.top + k1};
            move_locked(*kids[static_cast<std::size_t>(index)], r);
        }
    }
    return true;
}

bool mdi_arrange_icons(WindowId client) {
    Lock lock(state().mutex);
    WindowRec* c = client_rec(client);
    if (!c) return false;
    std::vector<WindowRec*> icons = children_where(*c, true);
    // Left to right along the bottom in their present order, rows growing upwards.
    std::stable_sort(icons.begin(), icons.end(), [](const WindowRec* a, const WindowRec* b) {
        return a->rect.top != b->rect.top ? a->rect.top > b->rect.top : a->rect.left < b->rect.left;
    });
    Rect cl = client_in_window(*c);
    int per_row = std::max(1, cl.width() / kIconWidth);
    for (std::size_t slot = 0; slot < icons.size(); ++slot) {
        WindowRec* i = icons[slot];
        int x = static_cast<int>(slot % static_cast<std::size_t>(per_row)) * kIconWidth;
        int y = cl.height() - icon_height(*i) * (1 + static_cast<int>(slot / static_cast<std::size_t>(per_row)));
        move_locked(*i, Rect::from_size(x, y, i->rect.width(), i->rect.height()));
    }
    return true;
}

std::string displayed_caption(WindowId window) {
    Lock lock(state().mutex);
    WindowRec* w = find(window);
    if (!w) {
        set_last_system_error(kErrInvalidHandle);
        return std::string();
    }
    return caption_text_locked(*w);
}

}  // namespace sk::platform::display
