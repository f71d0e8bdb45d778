-- Mission 1: the beach landing.
local objectives = { "reach_bunker", "destroy_guns", "hold_the_line" }
local wave = 0

function Mission_Start()
    for i, name in ipairs(objectives) do
        AddObjective(name, i == 1)
    end
    PlayCinematicShot('Beach_Approach')
end

function OnObjectiveComplete(name)
    if name == "destroy_guns" then
        PlayCinematicShot('Beach_GunsDown')
    end
end

function OnWaveTimer()
    wave = wave + 1
    SpawnWave("landing_craft", wave * 2)
end
