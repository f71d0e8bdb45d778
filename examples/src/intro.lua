-- Opening sequence: plays the intro shots, then hands over to the player.
function Intro_Start()
    FadeIn(2.0)
    PlayCinematicShot('Intro01')
    PlayCinematicShot('Intro02_Flyover')
    -- PlayCinematicShot('Intro_Cut') was dropped from the final edit
    PlayCinematicShot('intro01')   -- the same shot again, listed once
    EnablePlayerControl(true)
end

function Intro_Skip()
    StopCinematic()
    EnablePlayerControl(true)
end
