"""Fixtures of the end-to-end tests: one Wine session for the whole test run."""

import pytest

import apps
import rig
import runtimes


@pytest.fixture(scope="session", autouse=True)
def wine_session(tmp_path_factory):
    """The Wine prefix, wineserver and X display of the test run."""
    try:
        session = rig.start_session(tmp_path_factory.mktemp("wine"))
    except rig.RigError as error:
        if not rig.WINE64.is_file():
            pytest.skip(str(error))
        raise
    yield session
    rig.stop_session()


@pytest.fixture(autouse=True)
def _runs_in_test_dir(tmp_path, wine_session):
    """Gives every run of a test its own directory below the test's tmp_path, and fails
    the test when a launcher left temporary files behind that were not the application's
    to remove."""
    rig.set_test_dir(tmp_path)
    before = set(rig.prefix_temp_litter(wine_session))
    yield
    litter = rig.leftover_temp_files(tmp_path, wine_session, before)
    rig.set_test_dir(None)
    assert not litter, "launcher temporary files left behind:\n" + "\n".join(map(str, litter))


@pytest.fixture(scope="session")
def application(tmp_path_factory):
    """The test application's jar (apps.APP_SOURCE)."""
    return apps.build_application(tmp_path_factory.mktemp("application"))


@pytest.fixture(scope="session")
def wine32_available(wine_session):
    available, reason = rig.check_wine32(wine_session)
    if not available:
        pytest.skip(f"32-bit Windows programs do not run here: {reason}")
    return True


@pytest.fixture
def display(wine_session):
    """For tests that need windows: skips where no X display could be started."""
    if wine_session.display is None:
        pytest.skip("no X display (Xvfb is not installed)")
    return wine_session.display


def pytest_configure(config):
    config.addinivalue_line("markers", "own_prefix: the test runs nothing in the session's "
                            "Wine prefix, so its registry need not be cleared")


@pytest.fixture(autouse=True)
def _own_registry(request, wine_session):
    """The registry belongs to the whole session, and launchers write their version cache
    into it: every test starts with the keys of the launcher and of runtime installers
    gone, so that none sees what an earlier one wrote, passed or failed."""
    if request.node.get_closest_marker("own_prefix") is None:
        runtimes.registry_clear()
