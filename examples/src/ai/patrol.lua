-- Guards walk their route and raise the alarm when they see the player.
local Patrol = {}
Patrol.__index = Patrol

function Patrol.new(route)
    return setmetatable({ route = route, next = 1, alert = false }, Patrol)
end

function Patrol:step()
    if self.alert then return "hunt" end
    local point = self.route[self.next]
    self.next = self.next % #self.route + 1
    return point
end

function Patrol:see(target)
    self.alert = target ~= nil
end

return Patrol
