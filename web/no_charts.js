// Served in place of the chart library when the build had none (scripts/setup.sh installs
// it): the page says so where the charts would be.
window.RIGSTATION_NO_CHARTS = "this build has no chart library: run scripts/setup.sh and build again";
