// The application's procedures, each the owner of one window. The menu of Main
// starts the browses, imports, export and viewers on threads of their own; the
// browses call the update forms and selects directly, on their own thread.
#pragma once

namespace sk::app {

void BrowseLINKDB();
void BrowseCategories();
void BrowseURL_K_Category();  // "BrowseURL:K_Category"
void UpdateLINKDB();
void UpdateCategories();
void SelectCategories();
void SelectCategory();
void Export();
void ImportHTML();
void ImportOther();
void ImportASCII();
void ReadMe();
void WhatsNew();

}  // namespace sk::app
