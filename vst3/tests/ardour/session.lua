-- VelaOrin.vst3 in a headless Ardour session, run by ardour7-lua (vst3_ardour_test.cpp).
--   session.lua create DIR   a session "vela": a MIDI track with VelaOrin, the program "Eth Drm"
--                            chosen as a preset, CutOff changed, two notes; saved
--   session.lua check DIR    loads it and prints what the instrument holds
-- Lines starting "vela:" are what the test reads. Every wait is for engine cycles, not time.
io.stdout:setvbuf("no")
local mode, dir = arg[1], arg[2]
local name = "vela"
local cutoff = 8  -- the parameter index

local function cycles(n)
  for _ = 1, n do ARDOUR.LuaAPI.wait_for_process_callback(1, 2000) end
end

local function instrument(track)
  local proc = track:nth_plugin(0)
  assert(not proc:isnil(), "the track has no instrument")
  return proc, proc:to_insert():plugin(0)
end

local function report(track)
  local proc, plugin = instrument(track)
  print("vela: plugin " .. plugin:name() .. " " .. plugin:unique_id())
  for i = 0, 13 do
    local value = ARDOUR.LuaAPI.get_processor_param(proc, i)
    print(string.format("vela: param %d %.9g", i, value))
  end
  print("vela: preset " .. plugin:last_preset().label)
  local notes = 0
  for region in track:playlist():region_list():iter() do
    notes = notes + ARDOUR.LuaAPI.note_list(region:to_midiregion():model()):size()
  end
  print("vela: notes " .. notes)
end

AudioEngine:set_backend("None (Dummy)", "", "")

if mode == "create" then
  assert(create_session(dir, name, 48000), "cannot create the session")
  local info
  for p in ARDOUR.LuaAPI.list_plugins():iter() do
    if p.name == "VelaOrin" and p.type == ARDOUR.PluginType.VST3 then info = p end
  end
  assert(info, "VelaOrin is not among Ardour's VST3 plug-ins")
  local midi = ARDOUR.DataType("midi")
  local tl = Session:new_midi_track(ARDOUR.ChanCount(midi, 1), ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2),
    true, info, nil, nil, 1, "Vela", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
  local track = tl:front()
  local proc, plugin = instrument(track)
  cycles(4)
  -- The program as Ardour's preset menu chooses it, then one parameter of it changed.
  local preset = plugin:preset_by_label("Eth Drm")
  assert(preset, "no preset Eth Drm: the program list did not reach Ardour")
  assert(plugin:load_preset(preset), "load_preset")
  cycles(8)
  ARDOUR.LuaAPI.set_processor_param(proc, cutoff, 0.3)
  cycles(8)
  -- Two notes (at 120 beats per minute): beats 1 to 2 and 4 to 5, in a region of 8 beats.
  local region = track:bounce_range(0, 4 * 48000, ARDOUR.InterThreadInfo(), ARDOUR.LuaAPI.nil_proc(), false, "notes")
  assert(not region:isnil(), "no region")
  track:playlist():add_region(region, Temporal.timepos_t(0), 1, false)
  local model = region:to_midiregion():midi_source(0):model()
  local command = model:new_note_diff_command("notes")
  command:add(ARDOUR.LuaAPI.new_noteptr(0, Temporal.Beats(1, 0), Temporal.Beats(1, 0), 60, 100))
  command:add(ARDOUR.LuaAPI.new_noteptr(3, Temporal.Beats(4, 0), Temporal.Beats(1, 0), 67, 90))
  model:apply_command(Session, command)
  Session:locations():add_range(Temporal.timepos_t(0), Temporal.timepos_t(4 * 48000))
  cycles(4)
  report(track)
  Session:save_state("", false, false, false, false, false)
  close_session()
  -- ardour7-export renders the session range, which Lua cannot make: the range just added
  -- becomes it in the file.
  local path = dir .. "/" .. name .. ".ardour"
  local file = assert(io.open(path, "r"))
  local xml = file:read("a")
  file:close()
  local made
  xml, made = xml:gsub('(<Location [^>]-)name="range1"([^>]-)flags="IsRangeMarker"',
    '%1name="session"%2flags="IsSessionRange"')
  assert(made == 1, "no range in the saved session")
  file = assert(io.open(path, "w"))
  file:write(xml)
  file:close()
  print("vela: saved")
elseif mode == "check" then
  assert(load_session(dir, name), "cannot load the session")
  cycles(8)
  local track = Session:route_by_name("Vela"):to_track()
  report(track)
  close_session()
end
