#!/usr/bin/env bash
# The real program on a virtual X server with the SDL backend: a bookmark file
# imported through File, Import, from HTML, the file dialog (into a folder, then the
# file) and the category assignment (best guess); the sites in the list; File,
# Export, Export All Categories to a new page; File, Exit. Then the sites and the
# categories the file's folders give are checked in the data files, and the exported
# page is read back: one section per category, each site's link, an index to the
# sections. Screenshots: /tmp/e2e-import-*.png and /tmp/e2e-export-*.png.
# $1 is the build directory. Skipped (exit 0) when Xvfb or xdotool is missing.
set -u
e2e_name=sdl_import_export
source "$(dirname "$0")/sdl_e2e_support.sh"
e2e_require "${1:?build directory}"
e2e_setup
e2e_start_display

# The site list's caption where a first start puts it.
click_site_list() { e2e_click 300 87; }

mkdir -p "$e2e_dir/run/saved"
cp "$e2e_here/sdl_e2e_bookmarks.htm" "$e2e_dir/run/saved/favourites.htm"
e2e_start_program

# File, Import, from HTML: the dialog proposes "bookmark.htm" in the start folder.
e2e_expect_change 300 "the file dialog" e2e_key alt+f i h
e2e_shot import-file-dialog
e2e_key --repeat 20 BackSpace
e2e_type "saved"
e2e_key Return  # into the folder
sleep 0.3
e2e_settle
e2e_type "favourites.htm"
e2e_settle
e2e_shot import-file-dialog-folder
e2e_expect_change 300 "the category assignment" e2e_key Return
e2e_shot import-select
e2e_tab 2  # past "&Select" onto "Best &Guess"
e2e_key Return
sites_stored() { [ "$(e2e_dump LINKDB.KSF | grep -c '"URL:LOCATION"')" -ge 6 ]; }
e2e_wait_for 15 "the import did not store the six sites" sites_stored
e2e_settle

# No window is active once the import's windows have closed, so keys would reach
# nothing: a click on the site list's caption activates it, and on gaining the
# focus it shows the new sites.
click_site_list
rows_shown() { [ "$(e2e_row_ink 6)" -gt 50 ]; }
e2e_wait_for 10 "the site list does not show the imported sites" rows_shown
e2e_settle
e2e_shot import-list
for r in 1 2 3 4 5 6; do
  [ "$(e2e_row_ink $r)" -gt 50 ] || e2e_fail "row $r of the list is empty after the import"
done
[ "$(e2e_row_ink 7)" -eq 0 ] || e2e_fail "the list shows more than the six sites"

# File, Export, Export All Categories: the name proposed is the imported file's,
# which the page must not overwrite; a new name is typed over it.
e2e_expect_change 300 "the export window" e2e_key alt+f e a
e2e_shot export-window
e2e_key End
e2e_key --repeat 130 --delay 5 BackSpace
e2e_type "exported.htm"
e2e_tab 2  # past "..." onto "&Ok"
e2e_key Return
page_written() { grep -q '</body></html>' "$e2e_dir/run/exported.htm" 2>/dev/null; }
e2e_wait_for 15 "the export did not write exported.htm" page_written
e2e_settle
e2e_shot export-done
click_site_list  # as after the import: the menu keys need an active window
e2e_settle
e2e_quit
cmp -s "$e2e_here/sdl_e2e_bookmarks.htm" "$e2e_dir/run/saved/favourites.htm" || e2e_fail "the bookmark file was changed"

python3 - "$e2e_build/ksf" "$e2e_dir/run" <<'EOF' || e2e_fail "the imported data or the exported page is wrong"
import html.parser, json, subprocess, sys
ksf, run = sys.argv[1], sys.argv[2]
failures = []
def check(ok, what):
    if not ok:
        failures.append(what)
def dump(name):
    out = subprocess.run([ksf, "dump", f"{run}/{name}"], capture_output=True, text=True, check=True).stdout
    return [json.loads(line)["fields"] for line in out.splitlines() if line.strip()]

# Each absolute link with the folder it is in; the relative link and the anchor are left out.
want = {
    "https://tools.example.com/": ("Tool Shed", "Tools", "https"),
    "ftp://files.example.net/pub/": ("File Archive", "Archives", "ftp"),
    "https://news.example.org/": ("Daily News", "News", "https"),
    "mailto:editor@news.example.org": ("Write to the Editor", "News", "?"),
    # A title with a character reference, and a line far longer than 512 bytes
    # (the icon's data before the title) whose address holds one too.
    "https://rnd.example.org/": ("Research & Development", "News", "https"),
    "https://icons.example.com/?a=1&b=2": ("Site With Icon", "News", "https"),
}
sites = dump("LINKDB.KSF")
got = {s["URL:LOCATION"]: (s["URL:DESCRIPTION"], s["URL:CATEGORY"], s["URL:KEYWORD"]) for s in sites}
check(got == want and len(sites) == 6, f"sites {got}")
check(all(s["URL:RATING"] == "0" for s in sites), "ratings")
categories = sorted(c["CAT:CATEGORY"] for c in dump("CATEGORIES.KSF"))
check(categories == ["Archives", "News", "Tools"], f"categories {categories}")

with open(f"{run}/exported.htm", "rb") as f:
    page = f.read()
lines = page.split(b"\r\n")
check(lines[-1] == b"" and b"\n" not in page.replace(b"\r\n", b""), "every line ends with CR LF")
check(lines[0] == b"<html><head><title>Sitekeeper - Site List</title></head><body>", "head line")
check(lines[-2] == b"</body></html>", "last line")

class Page(html.parser.HTMLParser):
    """The page as a reader sees it: section names, the links in each section's
    table, the index (the footer's links are in no table)."""
    def __init__(self):
        super().__init__()
        self.sections, self.anchors, self.index, self.links = [], set(), [], []
        self.href = self.text = None
        self.in_h3 = self.in_table = False
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "a":
            if "name" in a:
                self.anchors.add(a["name"])
            self.href, self.text = a.get("href"), ""
        elif tag == "h3":
            self.in_h3 = True
        elif tag == "table":
            self.in_table = True
    def handle_data(self, data):
        if self.text is not None:
            self.text += data
    def handle_endtag(self, tag):
        if tag == "a" and self.text is not None:
            if self.in_h3 and self.href is None:
                self.sections.append((self.text, []))
            elif self.href and self.href.startswith("#URL") and self.href != "#URLIndex":
                self.index.append((self.href[1:], self.text))
            elif self.href and self.sections and self.in_table:
                self.sections[-1][1].append((self.href, self.text))
            self.href = self.text = None
        elif tag == "h3":
            self.in_h3 = False
        elif tag == "table":
            self.in_table = False

p = Page()
p.feed(page.decode("utf-8"))
expected_sections = [
    ("Archives", [("ftp://files.example.net/pub/", "File Archive")]),
    ("News", [("https://icons.example.com/?a=1&b=2", "Site With Icon"), ("https://news.example.org/", "Daily News"),
              ("https://rnd.example.org/", "Research & Development"),
              ("mailto:editor@news.example.org", "Write to the Editor")]),
    ("Tools", [("https://tools.example.com/", "Tool Shed")]),
]
check([(n, sorted(l)) for n, l in p.sections] == expected_sections, f"sections {p.sections}")
check(p.index == [("URL1", "Archives"), ("URL2", "News"), ("URL3", "Tools")], f"index {p.index}")
# Written escaped: the page's own text shows no bare "&" the reader would take apart.
check(b"Research &amp; Development</a>" in page and b"?a=1&amp;b=2\"" in page, "escaped texts")
check({"URL1", "URL2", "URL3", "URLIndex"} <= p.anchors, f"anchors {p.anchors}")
for f in failures:
    print("wrong:", f)
sys.exit(1 if failures else 0)
EOF

e2e_say "passed; screenshots: ${e2e_shots[*]}"
