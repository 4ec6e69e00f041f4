# The data layer linking the network core, as it did for the roof rule's player lift.
set(LINKS_vx_platform Threads::Threads)
set(LINKS_vx_data vx_platform vx_net)
set(LINKS_vx_net vx_platform)
