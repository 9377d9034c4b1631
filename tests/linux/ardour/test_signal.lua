ardour {
  ["type"] = "dsp",
  name = "DriveEffect test signal",
  category = "Utility",
  license = "MIT",
  author = "DriveEffect tests",
  description = [[A stereo test signal whose every sample is exact in 32-bit float, from the first rolling sample on; silence before.]]
}

function dsp_ioconfig ()
  return { { audio_in = 2, audio_out = 2 } }
end

local n = 0

local function triangle (k, period)
  local phase = (k % period) / (period / 4)
  return math.abs (phase - 2) - 1
end

function dsp_run (ins, outs, n_samples)
  local rolling = Session:transport_rolling ()
  local left = outs[1]:array ()
  local right = outs[2]:array ()
  for s = 1, n_samples do
    if rolling then
      local sq = ((n % 150) < 75) and 1 or -1
      left[s] = 0.375 * triangle (n, 256) + 0.25 * sq + 0.125 * triangle (n, 64)
      right[s] = 0.5 * triangle (n, 512) - 0.25 * (((n % 98) < 49) and 1 or -1)
      n = n + 1
    else
      left[s] = 0
      right[s] = 0
    end
  end
end
