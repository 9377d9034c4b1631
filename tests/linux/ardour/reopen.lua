-- Run 2: the saved session opened again; prints the four parameter values DriveEffect got back,
-- and with zoom_index set the value of the LV2 plug-in's zoom port (Ardour's control of that
-- index) after them.
-- Globals set by the caller: session_dir; zoom_index, optional.
AudioEngine:set_backend ("None (Dummy)", "", "")
assert (load_session (session_dir, "drive"), "cannot load the session")
local track = Session:route_by_name ("Drive")
assert (not track:isnil (), "no track 'Drive' in the saved session")
local drive = track:nth_plugin (1)
assert (not drive:isnil () and drive:name () == "DriveEffect", "no DriveEffect on the track")
local text = "RESULT values"
for i = 0, 3 do
  local value, ok = ARDOUR.LuaAPI.get_processor_param (drive, i, true)
  text = text .. " " .. string.format ("%.9g", value)
end
if zoom_index then
  local zoom, ok = ARDOUR.LuaAPI.get_processor_param (drive, zoom_index, true)
  text = text .. " zoom " .. string.format ("%.9g", zoom)
end
print (text)
close_session ()
