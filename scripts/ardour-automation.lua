-- Ardour's headless Lua session tool (ardour7-lua) running the LV2 form with automation: a
-- stereo track plays an 80 Hz sine (the "sixband test sine" Lua DSP processor that
-- ardour-automation.sh puts in Ardour's script folder) into the equaliser, whose "80 Hz"
-- control is automated from its default to 1.0, and the session is exported to a WAV file.
-- With SIXBAND_CASE=events it is automated instead in steps a user makes: "80 Hz" jumped from
-- its default to 1.0 and back to 0 (a fast ramp of a few milliseconds each), and the plug-in
-- bypassed and brought back through its "Enabled" control, exported to events.wav.
-- Run by scripts/ardour-automation.sh, which sets these:
--   SIXBAND_SESSION   folder for the new session     SIXBAND_EXPORT   folder for the export
--   SIXBAND_URI       the plug-in's URI              SIXBAND_TIMES    "rampStart rampEnd length" in s
--   SIXBAND_CASE      ramp (the default) or events   SIXBAND_EVENTS   "jumpUp jumpDown bypassOff bypassOn" in s
io.stdout:setvbuf("no")

local function env(name)
  local value = os.getenv(name)
  assert(value, name .. " is not set")
  return value
end
local rampStart, rampEnd, length = env("SIXBAND_TIMES"):match("(%S+) (%S+) (%S+)")
rampStart, rampEnd, length = tonumber(rampStart), tonumber(rampEnd), tonumber(length)

AudioEngine:set_backend("JACK", "", "")
assert(AudioEngine:start(false) == 0, "Ardour cannot start its engine on the JACK server")
assert(create_session(env("SIXBAND_SESSION"), "automation", 44100), "cannot create the session")
local rate = Session:nominal_sample_rate()

local tracks = Session:new_audio_track(2, 2, nil, 1, "EQ", ARDOUR.PresentationInfo.max_order,
                                       ARDOUR.TrackMode.Normal, true, false)
local track = tracks:front()
local sine = ARDOUR.LuaAPI.new_luaproc(Session, "sixband test sine")
assert(not sine:isnil(), "the test sine processor is not in Ardour's script folder")
local eq = ARDOUR.LuaAPI.new_plugin(Session, env("SIXBAND_URI"), ARDOUR.PluginType.LV2, "")
assert(not eq:isnil(), "Ardour does not find " .. env("SIXBAND_URI") .. " on LV2_PATH")
assert(track:add_processor_by_index(sine, 0, nil, true) == 0)
assert(track:add_processor_by_index(eq, 1, nil, true) == 0)

-- The first control of the plug-in is "80 Hz"; Ardour's descriptor gives its name and default.
local function automated(index, name)
  local list, events, descriptor = ARDOUR.LuaAPI.plugin_automation(eq, index)
  local control = eq:to_automatable():automation_control(
    Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, eq:to_insert():plugin(0):nth_parameter(index, true)), false)
  assert(control:name() == name, "control " .. index .. " is " .. control:name() .. ", not " .. name)
  control:set_automation_state(ARDOUR.AutoState.Play)
  return events, descriptor, control
end
local function at(seconds) return Temporal.timepos_t(math.floor(seconds * rate)) end

local events, descriptor, control = automated(0, "80 Hz")
local case = os.getenv("SIXBAND_CASE") or "ramp"
if case == "events" then
  local up, down, off, on = env("SIXBAND_EVENTS"):match("(%S+) (%S+) (%S+) (%S+)")
  up, down, off, on = tonumber(up), tonumber(down), tonumber(off), tonumber(on)
  print(string.format("automating '80 Hz' %.6f to 1.0 over 5 ms at %g s, 1.0 to 0 over 2 ms at %g s; "
                      .. "'Enabled' off at %g s and on at %g s", descriptor.normal, up, down, off, on))
  events:add(at(0), descriptor.normal, false, true)
  events:add(at(up), descriptor.normal, false, true)
  events:add(at(up + 0.005), 1.0, false, true)
  events:add(at(down), 1.0, false, true)
  events:add(at(down + 0.002), 0.0, false, true)
  local switch = automated(6, "Enabled")
  switch:add(at(0), 1.0, false, true)
  switch:add(at(off - 0.001), 1.0, false, true)
  switch:add(at(off), 0.0, false, true)
  switch:add(at(on - 0.001), 0.0, false, true)
  switch:add(at(on), 1.0, false, true)
else
  print(string.format("automating '%s' from its default %.6f to 1.0, %g s to %g s", control:name(),
                      descriptor.normal, rampStart, rampEnd))
  events:add(at(rampStart), descriptor.normal, false, true)
  events:add(at(rampEnd), 1.0, false, true)
end

local export = Session:simple_export()
export:set_name(case == "events" and "events" or "ramp")
export:set_folder(env("SIXBAND_EXPORT"))
export:set_range(0, math.floor(length * rate))
assert(export:set_preset("75969a1c-3133-4694-864b-a1fa50e43348"), "no 'WAV @ session-rate' export preset")
assert(export:check_outputs(), "nothing to export")
assert(export:run_export(), "the export failed")
print("exported")
close_session()
print("closed")
