-- Developer console commands; never shipped, so its option file skips it.
function Console_GodMode(on)
    SetInvulnerable(GetPlayer(), on)
end
