// Trace names of the events and private messages.
#include "ui/event.h"

#include <array>
#include <utility>

namespace sk::ui {
namespace {

struct Named {
    std::uint16_t code;
    std::string_view name;
};

constexpr Named kNames[] = {
    {0x1401, "EVENT:Accepted"},      {0x1402, "EVENT:NewSelection"}, {0x1403, "EVENT:ScrollUp"},
    {0x1404, "EVENT:ScrollDown"},    {0x1405, "EVENT:PageUp"},       {0x1406, "EVENT:PageDown"},
    {0x1407, "EVENT:ScrollTop"},     {0x1408, "EVENT:ScrollBottom"}, {0x1409, "EVENT:Locate"},
    {0x140A, "EVENT:MouseUp"},       {0x140B, "EVENT:MouseIn"},      {0x140C, "EVENT:MouseOut"},
    {0x140D, "EVENT:MouseMove"},     {0x140E, "EVENT:VBXevent"},     {0x140F, "EVENT:AlertKey"},
    {0x1410, "EVENT:PreAlert"},      {0x1411, "EVENT:Dragging"},     {0x1412, "EVENT:Drag"},
    {0x1413, "EVENT:Drop"},          {0x1414, "EVENT:ScrollDrag"},   {0x1415, "EVENT:TabChanging"},
    {0x1416, "EVENT:Expanding"},     {0x1417, "EVENT:Contracting"},  {0x1418, "EVENT:Expanded"},
    {0x1419, "EVENT:Contracted"},    {0x141A, "EVENT:Rejected"},     {0x141B, "EVENT:DroppingDown"},
    {0x141C, "EVENT:DroppedDown"},   {0x1501, "EVENT:Selected"},     {0x1601, "EVENT:CloseWindow"},
    {0x1602, "EVENT:CloseDown"},     {0x1603, "EVENT:OpenWindow"},   {0x1604, "EVENT:OpenFailed"},
    {0x1605, "EVENT:LoseFocus"},     {0x1606, "EVENT:GainFocus"},    {0x1608, "EVENT:Suspend"},
    {0x1609, "EVENT:Resume"},        {0x160A, "EVENT:Notify"},       {0x160B, "EVENT:Timer"},
    {0x160C, "EVENT:DDErequest"},    {0x160D, "EVENT:DDEadvise"},    {0x160E, "EVENT:DDEdata"},
    {0x160F, "EVENT:DDEexecute"},    {0x1610, "EVENT:DDEpoke"},      {0x1611, "EVENT:DDEclosed"},
    {0x1620, "EVENT:Move"},          {0x1621, "EVENT:Size"},         {0x1622, "EVENT:Restore"},
    {0x1623, "EVENT:Maximize"},      {0x1624, "EVENT:Iconize"},      {0x1625, "EVENT:Completed"},
    {0x1630, "EVENT:Moved"},         {0x1631, "EVENT:Sized"},        {0x1632, "EVENT:Restored"},
    {0x1633, "EVENT:Maximized"},     {0x1634, "EVENT:Iconized"},     {0x2401, "QUERY_SETUSE"},
    {0x2402, "QUERY_SELECTED"},      {0x2403, "QUERY_COMMAND"},      {0x2404, "QUERY_HOTCHANGE"},
    {0x2405, "QUERY_HELP"},          {0x2406, "QUERY_QUIT"},         {0x2407, "QUERY_REPLY"},
    {0x2408, "QUERY_LOSEFOCUS"},     {0x2409, "QUERY_PSCREEN"},      {0x240A, "QUERY_PFIELD"},
    {0x240C, "QUERY_COLOR"},         {0x240E, "QUERY_HSCROLL"},      {0x2410, "QUERY_NOTIFY"},
    {0x2412, "QUERY_LOCATE"},        {0x241C, "QUERY_CONTINUETHREAD"}, {0x241D, "QUERY_EDITDONE"},
};

}  // namespace

std::string_view event_name(std::uint16_t absolute) {
    for (const Named& n : kNames)
        if (n.code == absolute) return n.name;
    return {};
}

}  // namespace sk::ui
