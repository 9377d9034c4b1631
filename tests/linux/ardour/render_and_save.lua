-- Run 1: a session with one stereo track, the test signal feeding DriveEffect, the four
-- parameters set, an export of the range as 32-bit float, and the session saved.
-- Globals set by the caller: session_dir, export_dir, frames, values (four parameter values);
-- plugin_id and plugin_type for another form of the plug-in than the scanned VST 2 one.
AudioEngine:set_backend ("None (Dummy)", "", "")
assert (create_session (session_dir, "drive", 48000), "cannot create the session")
local tracks = Session:new_audio_track (2, 2, nil, 1, "Drive", ARDOUR.PresentationInfo.max_order,
                                        ARDOUR.TrackMode.Normal, true)
local track = tracks:front ()
local signal = ARDOUR.LuaAPI.new_luaproc (Session, "DriveEffect test signal")
assert (not signal:isnil (), "no test signal processor")
assert (track:add_processor_by_index (signal, 0, nil, true))
local drive = ARDOUR.LuaAPI.new_plugin (Session, plugin_id or "1466854194",
                                        plugin_type or ARDOUR.PluginType.LXVST, "")
assert (not drive:isnil (), "Ardour does not know DriveEffect (" .. (plugin_id or "Wnk2") .. ")")
assert (track:add_processor_by_index (drive, 1, nil, true))
-- Ardour numbers the controls it lists its own way (a VST 3 plug-in's bypass is one of them): the
-- names behind the indices set here show which control each one reaches.
local plugin = drive:to_insert ():plugin (0)
local names = ""
for i = 1, 4 do
  assert (ARDOUR.LuaAPI.set_processor_param (drive, i - 1, values[i]))
  local parameter, ok = plugin:nth_parameter (i - 1)
  names = names .. " '" .. plugin:parameter_label (parameter) .. "'"
end
local export = Session:simple_export ()
assert (export:set_preset ("6a1c3f2e-5d7b-4c1e-9f0a-2b3c4d5e6f70"), "no float export preset")
export:set_folder (export_dir)
export:set_name ("drive")
export:set_range (0, frames)
assert (export:run_export (), "the export failed")
Session:save_state ("", false, false, false, false, false)
print ("RESULT exported and saved, controls" .. names)
close_session ()
