"""An event service that never answers must not hold the installer up for long: each send is
bounded and sending stops after two unanswered ones."""

from installer_runs import cancel_while_certificate_is_fetched

ALLOWED_EXTRA_SECONDS = 15


def test_black_holed_event_service_costs_at_most_15_seconds(make_scenario, record_property):
    durations = {}
    for name, black_holed in (("healthy", False), ("black-holed", True)):
        scenario = make_scenario(name)
        scenario.server.blackhole_events(black_holed)
        assert cancel_while_certificate_is_fetched(scenario) == 1, f"{name} run"
        durations[name] = scenario.installer.duration
        record_property(f"report:{name} run (s)", round(durations[name], 1))
        if black_holed:
            sent = scenario.server.categories()
            assert len(sent) == 2, f"events sent to a service that never answered: {sent}"
        scenario.tear_down()

    extra = durations["black-holed"] - durations["healthy"]
    assert extra <= ALLOWED_EXTRA_SECONDS, f"black-holed run took {extra:.1f} s longer: {durations}"
