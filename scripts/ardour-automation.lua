-- Ardour's headless Lua session tool (ardour7-lua) running the LV2 form with automation: a
-- stereo track plays an 80 Hz sine (the "sixband test sine" Lua DSP processor that
-- ardour-automation.sh puts in Ardour's script folder) into the equaliser, whose "80 Hz"
-- control is automated from its default to 1.0, and the session is exported to a WAV file.
-- Run by scripts/ardour-automation.sh, which sets these:
--   SIXBAND_SESSION   folder for the new session     SIXBAND_EXPORT   folder for ramp.wav
--   SIXBAND_URI       the plug-in's URI              SIXBAND_TIMES    "rampStart rampEnd length" in s
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
local list, events, descriptor = ARDOUR.LuaAPI.plugin_automation(eq, 0)
local control = eq:to_automatable():automation_control(
  Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, eq:to_insert():plugin(0):nth_parameter(0, true)), false)
assert(control:name() == "80 Hz", "the first control is " .. control:name())
print(string.format("automating '%s' from its default %.6f to 1.0, %g s to %g s", control:name(),
                    descriptor.normal, rampStart, rampEnd))
events:add(Temporal.timepos_t(math.floor(rampStart * rate)), descriptor.normal, false, true)
events:add(Temporal.timepos_t(math.floor(rampEnd * rate)), 1.0, false, true)
control:set_automation_state(ARDOUR.AutoState.Play)

local export = Session:simple_export()
export:set_name("ramp")
export:set_folder(env("SIXBAND_EXPORT"))
export:set_range(0, math.floor(length * rate))
assert(export:set_preset("75969a1c-3133-4694-864b-a1fa50e43348"), "no 'WAV @ session-rate' export preset")
assert(export:check_outputs(), "nothing to export")
assert(export:run_export(), "the export failed")
print("exported")
close_session()
print("closed")
