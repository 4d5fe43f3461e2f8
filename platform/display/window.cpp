// Native windows: the window table, geometry, state, z-order, activation, focus,
// capture, invalidation, paint sessions, timers and the caret.
#include "platform/display/window.h"

#include <algorithm>

#include "platform/display/window_manager.h"
#include "platform/system_error.h"

namespace sk::platform::display {

using namespace detail;

namespace detail {

DisplayState& state() {
    static DisplayState s;
    return s;
}

WindowRec* find(WindowId w) {
    auto& st = state();
    auto it = st.windows.find(w);
    return it == st.windows.end() ? nullptr : it->second.get();
}

std::uint64_t now_ms() {
    auto& st = state();
    if (st.virtual_clock) return st.virtual_ms;
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - st.opened_at).count());
}

Rect screen_rect_of(const WindowRec& w) {
    Rect r = w.rect;
    const WindowRec* p = w.kind == WindowKind::kChild ? find(w.parent) : nullptr;
    while (p) {
        Rect client = client_in_window(*p);
        r = r.offset(p->rect.left + client.left, p->rect.top + client.top);
        p = p->kind == WindowKind::kChild ? find(p->parent) : nullptr;
    }
    return r;
}

Rect client_in_window(const WindowRec& w) {
    return nonclient_layout(w).client;
}

bool shown(const WindowRec& w) {
    const WindowRec* p = &w;
    while (p) {
        if (!p->visible) return false;
        if (p != &w && p->size_state == kSizeMinimized) return false;  // a minimised parent shows no children
        p = p->kind == WindowKind::kChild ? find(p->parent) : nullptr;
    }
    return true;
}

bool enabled_chain(const WindowRec& w) {
    const WindowRec* p = &w;
    while (p) {
        if (!p->enabled) return false;
        p = p->kind == WindowKind::kChild ? find(p->parent) : nullptr;
    }
    return true;
}

WindowRec* top_level_rec(WindowRec* w) {
    while (w && w->kind == WindowKind::kChild) w = find(w->parent);
    return w;
}

void add_damage(const Rect& screen) {
    auto& st = state();
    Rect r = screen.intersect(st.screen.bounds());
    if (r.is_empty()) return;
    // Merge with an overlapping rectangle to keep the list short.
    for (Rect& d : st.damage) {
        if (!d.intersect(r).is_empty()) {
            d = d.unite(r);
            return;
        }
    }
    st.damage.push_back(r);
}

void damage_window(const WindowRec& w) {
    if (shown(w)) add_damage(screen_rect_of(w));
}

void post_to_window(WindowRec& w, Message m) {
    m.window = w.handle;
    post_locked(w.thread, m);
}

void bring_to_top_locked(WindowRec& w) {
    auto& st = state();
    std::vector<WindowId>* list = nullptr;
    if (w.kind == WindowKind::kChild) {
        WindowRec* p = find(w.parent);
        if (!p) return;
        list = &p->children;
    } else {
        list = &st.top_windows;
    }
    auto it = std::find(list->begin(), list->end(), w.handle);
    if (it == list->end()) return;
    list->erase(it);
    if (w.kind == WindowKind::kTopLevel) {
        // Top-level windows stay below every popup.
        auto pos = std::find_if(list->begin(), list->end(), [](WindowId id) {
            WindowRec* r = find(id);
            return r && r->kind == WindowKind::kPopup;
        });
        list->insert(pos, w.handle);
    } else {
        list->push_back(w.handle);
    }
    damage_window(w);
}

bool focus_locked(WindowId w) {
    auto& st = state();
    WindowRec* target = nullptr;
    if (w != 0) {
        target = find(w);
        if (!target) {
            set_last_system_error(kErrInvalidHandle);
            return false;
        }
        if (!enabled_chain(*target)) {
            set_last_system_error(kErrAccessDenied);
            return false;
        }
        WindowRec* top = top_level_rec(target);
        if (top && top->kind == WindowKind::kTopLevel && top->handle != st.active) {
            activate_locked(top->handle);  // the focus follows into the window's top-level
        }
    }
    if (st.focus == w) return true;
    WindowId old = st.focus;
    st.focus = w;
    std::uint64_t t = now_ms();
    if (WindowRec* o = find(old)) {
        Message m;
        m.code = kMsgKillFocus;
        m.lparam = w;
        m.time = t;
        post_to_window(*o, m);
    }
    if (target) {
        if (WindowRec* top = top_level_rec(target)) top->last_focus = w;
        // A control inside an MDI child is remembered by the child as well, for its next
        // activation; the focus resting on the child itself (its icon) is not.
        if (WindowRec* child = enclosing_mdi_child(target); child && child != target) child->last_focus = w;
        Message m;
        m.code = kMsgSetFocus;
        m.lparam = old;
        m.time = t;
        post_to_window(*target, m);
    }
    return true;
}

namespace {

// The active child of a frame's MDI client draws its caption active with the frame.
void repaint_active_mdi_child(WindowRec& frame) {
    WindowRec* client = find(frame.mdi_client);
    if (!client || client->mdi_order.empty()) return;
    if (WindowRec* child = find(client->mdi_order.front())) {
        paint_frame(*child);
        damage_window(*child);
    }
}

}  // namespace

bool activate_locked(WindowId w) {
    auto& st = state();
    WindowRec* target = nullptr;
    if (w != 0) {
        target = top_level_rec(find(w));
        if (!target || target->kind != WindowKind::kTopLevel) {
            set_last_system_error(kErrInvalidHandle);
            return false;
        }
        if (!target->enabled) {
            set_last_system_error(kErrAccessDenied);
            return false;
        }
        w = target->handle;
    }
    if (target) bring_to_top_locked(*target);
    if (st.active == w) return true;
    WindowId old = st.active;
    st.active = w;
    std::uint64_t t = now_ms();
    if (WindowRec* o = find(old)) {
        paint_frame(*o);
        repaint_active_mdi_child(*o);
        Message m;
        m.code = kMsgActivate;
        m.wparam = 0;
        m.lparam = w;
        m.time = t;
        post_to_window(*o, m);
    }
    if (target) {
        paint_frame(*target);
        repaint_active_mdi_child(*target);
        Message m;
        m.code = kMsgActivate;
        m.wparam = 1;
        m.lparam = old;
        m.time = t;
        post_to_window(*target, m);
        // Give the focus back to where it was in this window, unless it is already inside.
        WindowRec* f = find(st.focus);
        if (!f || top_level_rec(f) != target) {
            WindowRec* last = find(target->last_focus);
            WindowId next = (last && top_level_rec(last) == target && enabled_chain(*last)) ? last->handle : target->handle;
            focus_locked(next);
        }
    } else {
        focus_locked(0);
    }
    return true;
}

bool move_locked(WindowRec& w, const Rect& rect) {
    Rect r{rect.left, rect.top, std::max(rect.right, rect.left), std::max(rect.bottom, rect.top)};
    if (r == w.rect) return true;
    damage_window(w);
    bool moved = r.origin() != w.rect.origin();
    bool sized = r.width() != w.rect.width() || r.height() != w.rect.height();
    Rect old_client = client_in_window(w);
    w.rect = r;
    if (sized) relayout_menu_bar(w);
    if (sized) {
        w.surface.resize(r.width(), r.height(), w.background);
        Rect client = client_in_window(w);
        // The newly exposed parts of the client area need painting; a window that only
        // shrank keeps what it drew.
        Rect cl{0, 0, client.width(), client.height()};
        if (client.width() > old_client.width()) {
            w.invalid = w.invalid.unite(Rect{old_client.width(), 0, cl.right, cl.bottom});
        }
        if (client.height() > old_client.height()) {
            w.invalid = w.invalid.unite(Rect{0, old_client.height(), cl.right, cl.bottom});
        }
        w.invalid = w.invalid.intersect(cl);
        paint_frame(w);
    }
    damage_window(w);
    std::uint64_t t = now_ms();
    if (moved) {
        Message m;
        m.code = kMsgMove;
        m.pos = r.origin();
        m.time = t;
        post_to_window(w, m);
    }
    if (sized) {
        Rect client = client_in_window(w);
        Message m;
        m.code = kMsgSize;
        m.wparam = static_cast<std::uint64_t>(client.width());
        m.lparam = client.height();
        m.flags = w.size_state;
        m.time = t;
        post_to_window(w, m);
        if (client.width() != old_client.width() || client.height() != old_client.height()) follow_parent_client(w, old_client);
    }
    return true;
}

void nonclient_changed(WindowRec& w, const Rect& old_client) {
    paint_frame(w);
    damage_window(w);
    Rect client = client_in_window(w);
    if (client == old_client) return;
    w.invalid = Rect{0, 0, client.width(), client.height()};
    queue_of(w.thread).ready.notify_all();
    if (client.width() != old_client.width() || client.height() != old_client.height()) {
        Message m;
        m.code = kMsgSize;
        m.wparam = static_cast<std::uint64_t>(client.width());
        m.lparam = client.height();
        m.flags = w.size_state;
        m.time = now_ms();
        post_to_window(w, m);
    }
    follow_parent_client(w, old_client);
}

WindowRec* create_window_locked(const WindowSpec& spec, std::thread::id thread) {
    auto& st = state();
    auto rec = std::make_unique<WindowRec>();
    WindowRec& w = *rec;
    w.handle = st.next_handle++;
    w.kind = spec.kind;
    w.parent = spec.parent;
    w.thread = thread;
    w.rect = spec.rect;
    w.style = spec.style;
    w.text = spec.text;
    w.identifier = spec.identifier;
    w.user_data = spec.user_data;
    w.visible = spec.visible;
    w.background = spec.background;
    w.surface = Surface(spec.rect.width(), spec.rect.height(), spec.background);
    Rect client = client_in_window(w);
    w.invalid = Rect{0, 0, client.width(), client.height()};
    WindowId id = w.handle;
    st.windows.emplace(id, std::move(rec));
    if (spec.kind == WindowKind::kChild) {
        if (WindowRec* parent = find(spec.parent)) parent->children.push_back(id);
    } else {
        st.top_windows.push_back(id);
    }
    queue_of(thread).window_count++;
    WindowRec& placed = *find(id);
    if (placed.kind == WindowKind::kTopLevel) bring_to_top_locked(placed);  // below the popups
    paint_frame(placed);
    damage_window(placed);
    return &placed;
}

void destroy_locked(WindowId id) {
    auto& st = state();
    WindowRec* w = find(id);
    if (!w) return;
    std::vector<WindowId> children = w->children;
    for (WindowId c : children) destroy_locked(c);
    // Owned top-level and popup windows go with their owner.
    std::vector<WindowId> owned;
    for (WindowId t : st.top_windows) {
        WindowRec* r = find(t);
        if (r && r->parent == id) owned.push_back(t);
    }
    for (WindowId o : owned) destroy_locked(o);
    w = find(id);
    if (!w) return;
    forget_window_menus(*w);
    w = find(id);
    if (!w) return;
    mdi_forget(*w);
    w = find(id);
    if (!w) return;
    damage_window(*w);
    if (w->kind == WindowKind::kChild) {
        if (WindowRec* p = find(w->parent)) std::erase(p->children, id);
    } else {
        std::erase(st.top_windows, id);
    }
    ThreadQueue& q = queue_of(w->thread);
    std::erase_if(q.posted, [id](const Message& m) { return m.window == id; });
    if (!w->internal) {
        Message m;
        m.code = kMsgDestroy;
        m.time = now_ms();
        m.lparam = id;  // the window is gone by the time this is read; lparam keeps its handle
        post_locked(w->thread, m);
    }
    --q.window_count;
    if (st.scroll.window == id) st.scroll = ScrollTrack{};
    if (st.sizing.window == id) st.sizing = SizeTrack{};
    if (st.capture == id) st.capture = 0;
    if (st.hover == id) st.hover = 0;
    if (st.dragging == id) st.dragging = 0;
    if (st.caret_owner == id) st.caret_owner = 0, st.caret_shown = false;
    std::thread::id thread = w->thread;
    WindowKind kind = w->kind;
    WindowId parent = w->parent;
    st.windows.erase(id);
    if (st.focus == id) {
        st.focus = 0;
        // A destroyed child hands the focus to its parent.
        if (kind == WindowKind::kChild && find(parent)) focus_locked(parent);
    }
    if (st.active == id) {
        st.active = 0;
        // Activate the owner if there is one, else the topmost shown top-level window.
        WindowId next = 0;
        WindowRec* owner = find(parent);
        if (owner && owner->kind == WindowKind::kTopLevel && shown(*owner) && owner->enabled) next = parent;
        for (auto it = st.top_windows.rbegin(); next == 0 && it != st.top_windows.rend(); ++it) {
            WindowRec* r = find(*it);
            if (r && r->kind == WindowKind::kTopLevel && shown(*r) && r->enabled) next = *it;
        }
        if (next) activate_locked(next);
        else focus_locked(0);
    }
    (void)thread;
}

}  // namespace detail

namespace {

WindowRec* get(WindowId w) {
    WindowRec* r = find(w);
    if (!r) set_last_system_error(kErrInvalidHandle);
    return r;
}

}  // namespace

Rect client_area_for_style(std::uint32_t style, Size outer) {
    int frame = 0;
    if (style & kStyleSizable) frame = 4;
    else if (style & kStyleDialogFrame) frame = 3;
    else if (style & kStyleBorder) frame = 1;
    int caption = 0;
    if (style & kStyleCaption) caption = (style & kStyleToolWindow) ? 15 : 18;
    Rect r{frame, frame + caption, outer.width - frame, outer.height - frame};
    if (style & kStyleClientEdge) r = r.inset(2, 2);
    r.right = std::max(r.right, r.left);
    r.bottom = std::max(r.bottom, r.top);
    return r;
}

WindowId create_window(const WindowSpec& spec) {
    auto& st = state();
    Lock lock(st.mutex);
    if (!st.open) {
        set_last_system_error(kErrInvalidFunction);
        return 0;
    }
    WindowRec* parent = spec.parent ? find(spec.parent) : nullptr;
    if ((spec.kind == WindowKind::kChild && !parent) || (spec.parent && !parent)) {
        set_last_system_error(kErrInvalidHandle);
        return 0;
    }
    if (spec.rect.width() < 0 || spec.rect.height() < 0) {
        set_last_system_error(kErrInvalidParameter);
        return 0;
    }
    WindowRec* w = create_window_locked(spec, std::this_thread::get_id());
    adopt_current_thread();
    mdi_child_created(*w);
    return w->handle;
}

namespace detail {

bool end_session_locked() {
    auto& st = state();
    WindowRec* target = find(st.active);
    if (target && (target->kind != WindowKind::kTopLevel || !shown(*target))) target = nullptr;
    for (auto it = st.top_windows.rbegin(); !target && it != st.top_windows.rend(); ++it) {
        WindowRec* w = find(*it);
        if (w && w->kind == WindowKind::kTopLevel && shown(*w)) target = w;
    }
    if (!target) return true;
    Message m;
    m.code = kMsgEndSessionRefused;
    m.time = now_ms();
    post_to_window(*target, m);
    return false;
}

}  // namespace detail

bool request_end_session() {
    Lock lock(state().mutex);
    return end_session_locked();
}

bool destroy_window(WindowId w) {
    auto& st = state();
    Lock lock(st.mutex);
    if (!get(w)) return false;
    destroy_locked(w);
    notify_all_queues();
    return true;
}

bool is_window(WindowId w) {
    Lock lock(state().mutex);
    return find(w) != nullptr;
}

bool move_window(WindowId w, const Rect& rect) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    if (rect.width() < 0 || rect.height() < 0) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    return move_locked(*r, rect);
}

bool set_window_position(WindowId w, Point origin) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    return move_locked(*r, Rect::from_size(origin.x, origin.y, r->rect.width(), r->rect.height()));
}

bool set_window_size(WindowId w, Size size) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    if (size.width < 0 || size.height < 0) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    return move_locked(*r, Rect::from_size(r->rect.left, r->rect.top, size.width, size.height));
}

Rect window_rect(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->rect : Rect{};
}

Rect screen_rect(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? screen_rect_of(*r) : Rect{};
}

Rect client_rect(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return Rect{};
    Rect c = client_in_window(*r);
    return Rect{0, 0, c.width(), c.height()};
}

Point client_to_screen(WindowId w, Point p) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return p;
    Rect s = screen_rect_of(*r);
    Rect c = client_in_window(*r);
    return Point{p.x + s.left + c.left, p.y + s.top + c.top};
}

Point screen_to_client(WindowId w, Point p) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return p;
    Rect s = screen_rect_of(*r);
    Rect c = client_in_window(*r);
    return Point{p.x - s.left - c.left, p.y - s.top - c.top};
}

namespace {

// The area a maximised window fills: its parent's client area, or the screen.
Rect maximized_rect(const WindowRec& w) {
    if (w.kind == WindowKind::kChild) {
        if (WindowRec* p = find(w.parent)) {
            Rect c = client_in_window(*p);
            // The frame goes just outside the parent's client area, so only the client shows.
            Rect probe = client_area_for_style(w.style, Size{1000, 1000});
            return Rect{-probe.left, -probe.top, c.width() + (1000 - probe.right), c.height() + (1000 - probe.bottom)};
        }
    }
    return state().screen.bounds();
}

}  // namespace

namespace detail {

void follow_parent_client(WindowRec& w, const Rect& old_client) {
    Rect c = client_in_window(w);
    int dw = c.width() - old_client.width(), dh = c.height() - old_client.height();
    std::vector<WindowId> children = w.children;
    for (WindowId id : children) {
        WindowRec* child = find(id);
        if (!child) continue;
        if (child->is_mdi_client) {
            // The client keeps the margins its frame gave it (a status bar below, say).
            Rect r = child->rect;
            move_locked(*child, Rect{r.left, r.top, std::max(r.left, r.right + dw), std::max(r.top, r.bottom + dh)});
        } else if (child->size_state == kSizeMaximized) {
            move_locked(*child, maximized_rect(*child));
        }
    }
}

namespace {

// True when w is ancestor or lies inside it.
bool is_within(const WindowRec* w, const WindowRec& ancestor) {
    for (; w; w = w->kind == WindowKind::kChild ? find(w->parent) : nullptr) {
        if (w == &ancestor) return true;
    }
    return false;
}

// A minimised window shows none of its controls, so the focus inside it moves to the
// window itself (its icon) and goes back to that control when the window is restored
// or maximised while the window itself still has it.
void refocus_for_size_state(WindowRec& r, SizeState old, SizeState target) {
    auto& st = state();
    if (target == kSizeMinimized) {
        WindowRec* f = find(st.focus);
        if (!f || !is_within(f, r)) return;
        r.focus_before_minimize = f == &r ? 0 : f->handle;
        focus_locked(r.handle);
        return;
    }
    if (old != kSizeMinimized) return;
    WindowRec* back = find(r.focus_before_minimize);
    r.focus_before_minimize = 0;
    if (back && st.focus == r.handle && is_within(back, r) && shown(*back) && enabled_chain(*back)) focus_locked(back->handle);
}

}  // namespace

bool set_size_state_locked(WindowRec* r, SizeState target) {
    if (r->size_state == target) return true;
    if (r->size_state == kSizeRestored) r->restore_rect = r->rect;
    SizeState old = r->size_state;
    r->size_state = target;
    Rect next = r->restore_rect;
    if (target == kSizeMaximized) {
        next = maximized_rect(*r);
    } else if (target == kSizeMinimized) {
        // A minimised window keeps only a short caption bar at its restored position.
        int h = client_area_for_style(r->style, Size{0, 0}).top + (r->style & kStyleSizable ? 4 : 3);
        next = Rect::from_size(r->restore_rect.left, r->restore_rect.top, 160, std::max(h, 21));
    }
    if (next == r->rect) {
        // Same rectangle: still tell the window its state changed, and redraw its frame.
        paint_frame(*r);
        damage_window(*r);
        Rect c = client_in_window(*r);
        Message m;
        m.code = kMsgSize;
        m.wparam = static_cast<std::uint64_t>(c.width());
        m.lparam = c.height();
        m.flags = target;
        m.time = now_ms();
        post_to_window(*r, m);
    } else {
        move_locked(*r, next);
        paint_frame(*r);
    }
    if (old == kSizeMinimized) r->invalid = Rect{0, 0, client_in_window(*r).width(), client_in_window(*r).height()};
    if (target == kSizeMinimized && mdi_client_rec_of(*r)) place_minimized_mdi_child(*r);
    mdi_size_state_changed(*r);
    damage_window(*r);
    refocus_for_size_state(*r, old, target);
    return true;
}

}  // namespace detail

namespace {

bool change_size_state(WindowId w, SizeState target) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r && set_size_state_locked(r, target);
}

}  // namespace

bool maximize_window(WindowId w) {
    return change_size_state(w, kSizeMaximized);
}

bool minimize_window(WindowId w) {
    return change_size_state(w, kSizeMinimized);
}

bool restore_window(WindowId w) {
    return change_size_state(w, kSizeRestored);
}

SizeState size_state(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->size_state : kSizeRestored;
}

Rect restored_rect(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return Rect{};
    return r->size_state == kSizeRestored ? r->rect : r->restore_rect;
}

bool show_window(WindowId w, bool visible) {
    auto& st = state();
    Lock lock(st.mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    if (r->visible == visible) return true;
    if (!visible) damage_window(*r);
    r->visible = visible;
    if (visible) damage_window(*r);
    Message m;
    m.code = kMsgShow;
    m.wparam = visible ? 1 : 0;
    m.time = now_ms();
    post_to_window(*r, m);
    mdi_child_visibility(*r, visible);
    r = find(w);
    if (!r) return true;
    if (!visible) {
        // A hidden window cannot keep the focus or the activation.
        WindowRec* f = find(st.focus);
        for (WindowRec* p = f; p; p = p->kind == WindowKind::kChild ? find(p->parent) : nullptr) {
            if (p == r) {
                focus_locked(r->kind == WindowKind::kChild && find(r->parent) ? r->parent : 0);
                break;
            }
        }
        if (st.active == w) {
            st.active = 0;
            paint_frame(*r);
            WindowId next = 0;
            for (auto it = st.top_windows.rbegin(); it != st.top_windows.rend(); ++it) {
                WindowRec* o = find(*it);
                if (o && o != r && o->kind == WindowKind::kTopLevel && shown(*o) && o->enabled) {
                    next = *it;
                    break;
                }
            }
            Message d;
            d.code = kMsgActivate;
            d.wparam = 0;
            d.lparam = next;
            d.time = now_ms();
            post_to_window(*r, d);
            if (next) activate_locked(next);
            else focus_locked(0);
        }
        if (st.capture == w) st.capture = 0;
    }
    return true;
}

bool is_visible(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r && r->visible;
}

bool is_shown(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r && shown(*r);
}

bool enable_window(WindowId w, bool enabled) {
    auto& st = state();
    Lock lock(st.mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    if (r->enabled == enabled) return true;
    r->enabled = enabled;
    Message m;
    m.code = kMsgEnable;
    m.wparam = enabled ? 1 : 0;
    m.time = now_ms();
    post_to_window(*r, m);
    if (!enabled) {
        // A disabled window loses the focus (to nothing: the engine decides where it goes).
        for (WindowRec* p = find(st.focus); p; p = p->kind == WindowKind::kChild ? find(p->parent) : nullptr) {
            if (p == r) {
                focus_locked(0);
                break;
            }
        }
        if (st.capture == w) st.capture = 0;
    }
    return true;
}

bool is_enabled(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r && r->enabled;
}

bool bring_to_top(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    bring_to_top_locked(*r);
    return true;
}

bool set_window_text(WindowId w, std::string_view text) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    r->text.assign(text);
    if (r->style & kStyleCaption) {
        paint_frame(*r);
        damage_window(*r);
    }
    return true;
}

std::string window_text(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->text : std::string();
}

std::uint32_t window_identifier(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->identifier : 0;
}

bool set_window_identifier(WindowId w, std::uint32_t identifier) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    r->identifier = identifier;
    return true;
}

std::uintptr_t window_user_data(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->user_data : 0;
}

bool set_window_user_data(WindowId w, std::uintptr_t data) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    r->user_data = data;
    return true;
}

std::uint32_t window_style(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->style : 0;
}

bool set_window_style(WindowId w, std::uint32_t style) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    if (r->style == style) return true;
    Rect old_client = client_in_window(*r);
    r->style = style;
    relayout_menu_bar(*r);
    nonclient_changed(*r, old_client);
    return true;
}

WindowKind window_kind(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->kind : WindowKind::kTopLevel;
}

WindowId parent_window(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->parent : 0;
}

WindowId top_level_of(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = top_level_rec(get(w));
    return r ? r->handle : 0;
}

std::thread::id window_thread(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->thread : std::thread::id();
}

std::vector<WindowId> child_windows(WindowId w) {
    Lock lock(state().mutex);
    if (w == 0) return state().top_windows;
    WindowRec* r = get(w);
    return r ? r->children : std::vector<WindowId>{};
}

bool set_active_window(WindowId w) {
    Lock lock(state().mutex);
    return activate_locked(w);
}

WindowId active_window() {
    Lock lock(state().mutex);
    return state().active;
}

bool set_focus(WindowId w) {
    Lock lock(state().mutex);
    return focus_locked(w);
}

WindowId focus_window() {
    Lock lock(state().mutex);
    return state().focus;
}

bool set_capture(WindowId w) {
    auto& st = state();
    Lock lock(st.mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    if (st.capture && st.capture != w) {
        if (WindowRec* old = find(st.capture)) {
            Message m;
            m.code = kMsgCaptureLost;
            m.time = now_ms();
            post_to_window(*old, m);
        }
    }
    st.capture = w;
    return true;
}

bool release_capture() {
    Lock lock(state().mutex);
    state().capture = 0;
    return true;
}

WindowId capture_window() {
    Lock lock(state().mutex);
    return state().capture;
}

bool invalidate(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    Rect c = client_in_window(*r);
    r->invalid = Rect{0, 0, c.width(), c.height()};
    if (r->invalid.is_empty()) return true;
    queue_of(r->thread).ready.notify_all();
    return true;
}

bool invalidate_rect(WindowId w, const Rect& client) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    Rect c = client_in_window(*r);
    Rect area = client.intersect(Rect{0, 0, c.width(), c.height()});
    if (area.is_empty()) return true;
    r->invalid = r->invalid.unite(area);
    queue_of(r->thread).ready.notify_all();
    return true;
}

bool validate(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    if (!r) return false;
    r->invalid = Rect{};
    return true;
}

Rect invalid_rect(WindowId w) {
    Lock lock(state().mutex);
    WindowRec* r = get(w);
    return r ? r->invalid : Rect{};
}

}  // namespace sk::platform::display
