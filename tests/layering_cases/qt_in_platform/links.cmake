# Clean links; the Qt in this case is an include of src/platform and a link
# reached through the network core.
set(LINKS_vx_platform Threads::Threads)
set(LINKS_vx_data vx_platform)
set(LINKS_vx_net vx_platform vx_netqt)
set(LINKS_vx_netqt Qt6::Network)
