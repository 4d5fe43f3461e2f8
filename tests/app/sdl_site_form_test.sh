#!/usr/bin/env bash
# The real program on a virtual X server with the SDL backend, driven by key
# presses: a first start in an empty directory, a category added through the
# category list and its form, a site typed into the site form, the site in the
# list, the About box; then File, Exit, the site in LINKDB as typed, and after a
# restart the site still in the list. Screenshots: /tmp/e2e-form-*.png.
# $1 is the build directory. Skipped (exit 0) when Xvfb or xdotool is missing.
set -u
e2e_name=sdl_site_form
source "$(dirname "$0")/sdl_e2e_support.sh"
e2e_require "${1:?build directory}"
e2e_setup
e2e_start_display

e2e_start_program
[ "$(e2e_row_ink 1)" -eq 0 ] || e2e_fail "the first start shows rows in an empty list"
e2e_shot form-start

# A site needs an existing category: Browse, Categories, Insert.
e2e_expect_change 100 "the Browse menu" e2e_key alt+b
e2e_expect_change 300 "the category list" e2e_key Down Return
e2e_expect_change 300 "the category form" e2e_key Insert
e2e_type "Tools"
e2e_tab 1  # onto OK
e2e_expect_change 300 "the category form closing" e2e_key Return
category_stored() { e2e_dump CATEGORIES.KSF | grep -q '"CAT:CATEGORY":"Tools"'; }
e2e_wait_for 10 "the category was not stored" category_stored
e2e_expect_change 300 "the category list closing" e2e_key Escape

# The site form opens on Insert in the site list, with the focus on Location.
e2e_expect_change 300 "the site form" e2e_key Insert
e2e_type "http://www.example.org/tools/"
e2e_tab
e2e_type "Example Tools"
e2e_tab
e2e_type "Tools"
e2e_tab
e2e_type "7"
e2e_tab
e2e_type "web"
e2e_tab  # onto OK
e2e_shot form-filled
e2e_expect_change 300 "the site form closing" e2e_key Return
site_stored() { e2e_dump LINKDB.KSF | grep -q 'www.example.org/tools'; }
e2e_wait_for 10 "the site was not stored" site_stored
e2e_settle
e2e_shot form-site-list
[ "$(e2e_row_ink 1)" -gt 50 ] || e2e_fail "the new site is not in the list"
[ "$(e2e_row_ink 2)" -eq 0 ] || e2e_fail "the list shows more than the one site"

# Help, About: a message box over the frame; Enter presses its OK.
e2e_expect_change 100 "the About box" e2e_key alt+h a
e2e_shot about-box
e2e_expect_change 100 "the About box closing" e2e_key Return
e2e_settle

e2e_quit

# What was typed is what is stored: field by field, nothing else in either file.
python3 - "$e2e_build/ksf" "$e2e_dir/run" <<'EOF' || e2e_fail "the stored records differ from what was typed"
import json, subprocess, sys
ksf, run = sys.argv[1], sys.argv[2]
def dump(name):
    out = subprocess.run([ksf, "dump", f"{run}/{name}"], capture_output=True, text=True, check=True).stdout
    return [json.loads(line) for line in out.splitlines() if line.strip()]
sites, categories = dump("LINKDB.KSF"), dump("CATEGORIES.KSF")
want = {"URL:LOCATION": "http://www.example.org/tools/", "URL:DESCRIPTION": "Example Tools",
        "URL:CATEGORY": "Tools", "URL:RATING": "7", "URL:KEYWORD": "web"}
ok = [s["fields"] for s in sites] == [want] and [c["fields"] for c in categories] == [{"CAT:CATEGORY": "Tools"}]
if not ok:
    print("sites:", sites, "\ncategories:", categories)
sys.exit(0 if ok else 1)
EOF
[ -s "$e2e_dir/config/sitekeeper/LKDB32.INI" ] || e2e_fail "no window positions were saved"

# A second start finds the site in the list.
e2e_start_program
e2e_shot form-site-list-restart
[ "$(e2e_row_ink 1)" -gt 50 ] || e2e_fail "the site is not in the list after a restart"
e2e_quit

e2e_say "passed; screenshots: ${e2e_shots[*]}"
